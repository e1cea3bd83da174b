#include "ScanDialog.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/gui/FormScale.h"

namespace {

const QStringList kColumns = {"Адрес",  "Скорость", "Протокол", "Идентификация",
                              "Прибор", "Номер",    "Ответ, мс"};

QString Progress(const ScanProgress& p) {
  return QString("Скорость %1, протокол %2, адрес %3; найдено: %4")
      .arg(p.baud)
      .arg(ScanProtocolName(p.protocol))
      .arg(p.address)
      .arg(p.found);
}

}  // namespace

TScanDialog::TScanDialog(const ScanRequest& scanRequest, const std::vector<TVerRecord>& verTable,
                         QWidget* parent)
    : QDialog(parent), request(scanRequest) {
  setObjectName("ScanDialog");
  setWindowTitle("Поиск приборов");
  scan_.VerTable = verTable;
  LProgress = new QLabel("Скорость 19200, протокол modbus, адрес 127; найдено: 99", this);
  LProgress->setObjectName("LProgress");
  Table = new QTableWidget(0, static_cast<int>(kColumns.size()), this);
  Table->setObjectName("Table");
  Table->setHorizontalHeaderLabels(kColumns);
  Table->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table->setSelectionMode(QAbstractItemView::SingleSelection);
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  BStart = new QPushButton("Начать", this);
  BStop = new QPushButton("Стоп", this);
  BChoose = new QPushButton("Выбрать", this);
  auto* BClose = new QPushButton("Закрыть", this);
  BStop->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {BStart, BStop, BChoose, BClose})
    buttons->addWidget(b);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(LProgress);
  layout->addWidget(Table);
  layout->addLayout(buttons);
  connect(BStart, &QPushButton::clicked, this, &TScanDialog::Start);
  connect(BStop, &QPushButton::clicked, this, &TScanDialog::Stop);
  connect(BChoose, &QPushButton::clicked, this, [this] {
    if (Chosen()) accept();
  });
  connect(BClose, &QPushButton::clicked, this, [this] {
    Stop();
    reject();
  });
  FixFormSize(*this, {560, 260});
  LProgress->setText("");
}

void TScanDialog::Start() {
  if (running_) return;
  running_ = true;
  cancel_ = false;
  rows_.clear();
  Table->setRowCount(0);
  BStart->setEnabled(false);
  BStop->setEnabled(true);
  outcome_ = scan_.Run(request, *this);
  if (outcome_.result == ScanResult::PortError)
    LProgress->setText(QString::fromStdString(outcome_.error));
  else
    LProgress->setText(
        QString("%1; найдено: %2")
            .arg(outcome_.result == ScanResult::Cancelled ? "Остановлено" : "Поиск окончен")
            .arg(rows_.size()));
  BStart->setEnabled(true);
  BStop->setEnabled(false);
  running_ = false;
}

std::optional<FoundMeter> TScanDialog::Chosen() const {
  const int row = Table->currentRow();
  if (row < 0 || row >= static_cast<int>(rows_.size())) return std::nullopt;
  // No read can tell two meters at one address apart: nothing to hand back.
  const FoundMeter& meter = rows_[static_cast<size_t>(row)];
  if (meter.state != FoundState::Meter) return std::nullopt;
  return meter;
}

void TScanDialog::OnProgress(const ScanProgress& p) {
  LProgress->setText(Progress(p));
}

void TScanDialog::OnFound(const FoundMeter& m) {
  rows_.push_back(m);
  const int row = Table->rowCount();
  Table->insertRow(row);
  const QString address = QString::number(m.address) +
                          (m.secondAddress ? QString("+%1").arg(*m.secondAddress) : QString());
  const QStringList cells = {address,
                             QString::number(m.baud),
                             ScanProtocolName(m.protocol),
                             QString::fromStdString(ScanIdentificationText(m)),
                             QString::fromStdString(m.caption),
                             QString::fromStdString(m.serial),
                             QString::number(m.replyMs)};
  for (int c = 0; c < cells.size(); ++c)
    Table->setItem(row, c, new QTableWidgetItem(cells[c]));
  if (row == 0) Table->selectRow(0);
}

bool TScanDialog::Cancelled() {
  // Between two probes: paint, and hear "Стоп" or the window being closed.
  QCoreApplication::processEvents();
  return cancel_;
}
