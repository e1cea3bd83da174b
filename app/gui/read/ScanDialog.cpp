#include "ScanDialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/gui/FormScale.h"

#include <algorithm>

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

// "1:05"
QString MinutesText(uint64_t ms) {
  const uint64_t sec = (ms + 500) / 1000;
  return QString("%1:%2").arg(sec / 60).arg(sec % 60, 2, 10, QChar('0'));
}

// The recorder of the window's route: the dialog's OnRecord.
class FunctionRecorder : public RouteRecorder {
 public:
  explicit FunctionRecorder(const std::function<RouteVisit(const MeterSnapshot&)>& record)
      : record_(record) {}
  RouteVisit Record(const MeterSnapshot& snapshot) override { return record_(snapshot); }

 private:
  const std::function<RouteVisit(const MeterSnapshot&)>& record_;
};

bool Has(const ScanRequest& r, uint32_t baud) {
  return std::find(r.bauds.begin(), r.bauds.end(), baud) != r.bauds.end();
}
bool Has(const ScanRequest& r, ScanProtocol p) {
  return std::find(r.protocols.begin(), r.protocols.end(), p) != r.protocols.end();
}

}  // namespace

TScanDialog::TScanDialog(const ScanRequest& scanRequest, const std::vector<TVerRecord>& verTable,
                         QWidget* parent)
    : QDialog(parent), request(scanRequest) {
  setObjectName("ScanDialog");
  setWindowTitle("Поиск приборов");
  scan_.VerTable = verTable;
  catalogue.verTable = verTable;
  SFrom = new QSpinBox(this);
  STo = new QSpinBox(this);
  for (QSpinBox* box : {SFrom, STo})
    box->setRange(0, 127);
  SFrom->setValue(request.from);
  STo->setValue(request.to);
  C9600 = new QCheckBox("9600", this);
  C19200 = new QCheckBox("19200", this);
  C3x = new QCheckBox("3x", this);
  CModBus = new QCheckBox("ModBus", this);
  C9600->setChecked(Has(request, 9600));
  C19200->setChecked(Has(request, 19200));
  C3x->setChecked(Has(request, ScanProtocol::ThreeX));
  CModBus->setChecked(Has(request, ScanProtocol::ModBus));
  auto* choice = new QHBoxLayout;
  choice->addWidget(new QLabel("Адреса с", this));
  choice->addWidget(SFrom);
  choice->addWidget(new QLabel("по", this));
  choice->addWidget(STo);
  choice->addSpacing(12);
  for (QCheckBox* c : {C9600, C19200, C3x, CModBus})
    choice->addWidget(c);
  choice->addStretch();
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
  BExport = new QPushButton("Сохранить CSV", this);
  BRoute = new QPushButton("Обойти все", this);
  auto* BClose = new QPushButton("Закрыть", this);
  BStop->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {BStart, BStop, BChoose, BExport, BRoute, BClose})
    buttons->addWidget(b);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(choice);
  layout->addWidget(LProgress);
  layout->addWidget(Table);
  layout->addLayout(buttons);
  connect(BStart, &QPushButton::clicked, this, &TScanDialog::Start);
  connect(BStop, &QPushButton::clicked, this, &TScanDialog::Stop);
  connect(BChoose, &QPushButton::clicked, this, [this] {
    if (Chosen()) accept();
  });
  connect(Table, &QTableWidget::cellDoubleClicked, this, [this] {
    if (Chosen()) accept();
  });
  connect(BExport, &QPushButton::clicked, this, [this] {
    const QString path =
        QFileDialog::getSaveFileName(this, "Сохранить таблицу", "scan.csv", "CSV (*.csv)");
    if (!path.isEmpty() && !ExportCsv(path)) LProgress->setText("Не удалось записать " + path);
  });
  connect(BRoute, &QPushButton::clicked, this, &TScanDialog::StartRoute);
  connect(BClose, &QPushButton::clicked, this, [this] {
    Stop();
    reject();
  });
  FixFormSize(*this, {560, 260});
  LProgress->setText("");
}

bool TScanDialog::TakeControls() {
  request.from = SFrom->value();
  request.to = STo->value();
  request.bauds.clear();
  for (auto [box, baud] : {std::pair{C9600, 9600u}, std::pair{C19200, 19200u}})
    if (box->isChecked()) request.bauds.push_back(baud);
  request.protocols.clear();
  if (C3x->isChecked()) request.protocols.push_back(ScanProtocol::ThreeX);
  if (CModBus->isChecked()) request.protocols.push_back(ScanProtocol::ModBus);
  if (request.bauds.empty() || request.protocols.empty() || request.from > request.to) {
    LProgress->setText("Выберите скорость, протокол и адреса (с ≤ по)");
    return false;
  }
  return true;
}

void TScanDialog::SetRunning(bool running) {
  running_ = running;
  BStart->setEnabled(!running);
  BRoute->setEnabled(!running);
  BStop->setEnabled(running);
  if (!running) return;
  cancel_ = false;
  rows_.clear();
  Table->setRowCount(0);
}

void TScanDialog::Start() {
  if (running_ || !TakeControls()) return;
  SetRunning(true);
  outcome_ = scan_.Run(request, *this);
  if (outcome_.result == ScanResult::PortError)
    LProgress->setText(QString::fromStdString(outcome_.error));
  else
    LProgress->setText(
        QString("%1; найдено: %2")
            .arg(outcome_.result == ScanResult::Cancelled ? "Остановлено" : "Поиск окончен")
            .arg(rows_.size()));
  SetRunning(false);
}

void TScanDialog::StartRoute() {
  if (running_ || !TakeControls()) return;
  QString dir = RouteDir;
  if (dir.isEmpty()) dir = QFileDialog::getExistingDirectory(this, "Папка для обхода");
  if (dir.isEmpty()) return;
  SetRunning(true);
  TRoute route;
  route.scan.VerTable = scan_.VerTable;
  FunctionRecorder recorder(OnRecord);
  route_ = route.Run({request, dir.toStdString(), false}, catalogue, recorder, *this);
  if (!route_.error.empty())
    LProgress->setText(QString::fromStdString(route_.error));
  else
    LProgress->setText(
        QString("%1; обойдено приборов: %2 -> %3")
            .arg(route_.result == RouteResult::Cancelled ? "Обход остановлен" : "Обход окончен")
            .arg(route_.rows.size())
            .arg(dir));
  SetRunning(false);
}

bool TScanDialog::ExportCsv(const QString& path) const {
  std::vector<std::string> header;
  for (const QString& c : kColumns)
    header.push_back(c.toStdString());
  std::string text = CsvLine(header);
  for (int r = 0; r < Table->rowCount(); ++r) {
    std::vector<std::string> cells;
    for (int c = 0; c < Table->columnCount(); ++c)
      cells.push_back(Table->item(r, c) ? Table->item(r, c)->text().toStdString() : "");
    text += CsvLine(cells);
  }
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
         file.write(text.data(), static_cast<qint64>(text.size())) ==
             static_cast<qint64>(text.size());
}

void TScanDialog::OnMeter(const RouteProgress& p) {
  LProgress->setText(QString("Обход: %1/%2, адрес %3; прошло %4, осталось %5")
                         .arg(p.done)
                         .arg(p.total)
                         .arg(p.address)
                         .arg(MinutesText(p.elapsedMs))
                         .arg(p.remainingMs ? MinutesText(*p.remainingMs) : QString("?")));
  QCoreApplication::processEvents();
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
