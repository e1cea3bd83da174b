#include "TrafficPanel.h"

#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include "comm/LumFrameNames.h"
#include "comm/PcapWriter.h"

namespace {

QString CheckText(FrameStatus status) {
  switch (status) {
    case FrameStatus::Good:
      return "верна";
    case FrameStatus::BadCheck:
      return "неверна";
    case FrameStatus::NoFrame:
      return "вне кадра";
    default:
      return "тайм-аут";
  }
}

QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

}  // namespace

TTrafficPanel::TTrafficPanel(QWidget* parent) : QWidget(parent) {
  setObjectName("TrafficPanel");
  auto* layout = new QVBoxLayout(this);
  Table = new QTableWidget(0, 7, this);
  Table->setObjectName("TrafficTable");
  Table->setHorizontalHeaderLabels(
      {"Время", "Направление", "Адрес", "Команда", "Длина", "Контроль", "Ответ, мс"});
  Table->verticalHeader()->hide();
  Table->setWordWrap(false);
  Table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  Table->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
  layout->addWidget(Table, 1);

  LCounters = new QLabel(this);
  LCounters->setObjectName("LCounters");
  BPause = new QPushButton("Пауза", this);
  BPause->setObjectName("BPause");
  BPause->setCheckable(true);
  connect(BPause, &QPushButton::toggled, this, &TTrafficPanel::SetPaused);
  BSave = new QPushButton("Сохранить...", this);
  BSave->setObjectName("BSave");
  connect(BSave, &QPushButton::clicked, this, [this] { Save(); });
  BClear = new QPushButton("Очистить", this);
  BClear->setObjectName("BClear");
  connect(BClear, &QPushButton::clicked, this, &TTrafficPanel::Clear);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(LCounters, 1);
  bottom->addWidget(BPause);
  bottom->addWidget(BClear);
  bottom->addWidget(BSave);
  layout->addLayout(bottom);
  ShowCounters();
}

TTrafficPanel::~TTrafficPanel() = default;

void TTrafficPanel::OnFrame(const LineFrame& frame) {
  Stored copy{frame.protocol,
              frame.direction,
              frame.status,
              frame.timeUs,
              {frame.bytes.begin(), frame.bytes.end()}};
  // A scan in a worker thread reports from there: the table lives here.
  if (QThread::currentThread() == thread())
    Show(std::move(copy));
  else
    QMetaObject::invokeMethod(
        this, [this, copy] { Show(copy); }, Qt::QueuedConnection);
}

void TTrafficPanel::Show(Stored frame) {
  if (paused_) return;
  if (frames_.size() >= kMaxFrames) {
    frames_.erase(frames_.begin());
    Table->removeRow(0);
  }
  if (frame.direction == FrameDirection::Outbound)
    ++counts_.sent;
  else if (frame.status == FrameStatus::Good || frame.status == FrameStatus::BadCheck)
    ++counts_.received;
  if (frame.status == FrameStatus::TimedOut) ++counts_.timeouts;
  if (frame.status == FrameStatus::BadCheck) ++counts_.badChecks;
  AddRow(frame);
  if (frame.direction == FrameDirection::Outbound) lastSentUs_ = frame.timeUs;
  frames_.push_back(std::move(frame));
  ShowCounters();
}

void TTrafficPanel::AddRow(const Stored& f) {
  const int row = Table->rowCount();
  Table->insertRow(row);
  const FrameSummary s = SummarizeFrame(f.protocol, f.bytes);
  const bool out = f.direction == FrameDirection::Outbound;
  const QString time =
      QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(f.timeUs / 1000)).toString("HH:mm:ss.zzz");
  const QString name = f.bytes.empty() ? QString("нет ответа") : QString::fromStdString(s.name);
  const QString reply =
      !out && lastSentUs_ && f.timeUs >= lastSentUs_
          ? QString::number(static_cast<double>(f.timeUs - lastSentUs_) / 1000.0, 'f', 1)
          : QString();
  const QString cells[] = {time,
                           out ? "→ прибору" : "← от прибора",
                           s.address ? QString::number(*s.address) : QString("—"),
                           (f.protocol == FrameProtocol::Lum3x ? "3x: " : "ModBus: ") + name,
                           QString::number(f.bytes.size()),
                           CheckText(f.status),
                           reply};
  for (int c = 0; c < 7; ++c)
    Table->setItem(row, c, Cell(cells[c]));
  if (f.status != FrameStatus::Good)
    for (int c = 0; c < 7; ++c)
      Table->item(row, c)->setForeground(QColor(0xb0, 0, 0));
  Table->scrollToBottom();
}

void TTrafficPanel::ShowCounters() {
  LCounters->setText(QString("Отправлено: %1   Принято: %2   Тайм-аутов: %3   Неверных сумм: %4")
                         .arg(counts_.sent)
                         .arg(counts_.received)
                         .arg(counts_.timeouts)
                         .arg(counts_.badChecks));
}

void TTrafficPanel::SetPaused(bool paused) {
  paused_ = paused;
  if (BPause->isChecked() != paused) BPause->setChecked(paused);
  BPause->setText(paused ? "Продолжить" : "Пауза");
}

void TTrafficPanel::Clear() {
  frames_.clear();
  counts_ = {};
  lastSentUs_ = 0;
  Table->setRowCount(0);
  ShowCounters();
}

bool TTrafficPanel::Save() {
  const QString path = savePath
                           ? savePath()
                           : QFileDialog::getSaveFileName(this, "Сохранить обмен", "обмен.pcapng",
                                                          "Захват pcapng (*.pcapng)");
  if (path.isEmpty()) return false;
  TPcapWriter writer;
  std::string error;
  if (!writer.Open(path.toStdString(), error)) {
    LCounters->setText("Файл не создан: " + QString::fromStdString(error));
    return false;
  }
  for (const Stored& f : frames_)
    writer.OnFrame({f.protocol, f.direction, f.status, f.timeUs, f.bytes});
  writer.Close();
  return !writer.Failed();
}
