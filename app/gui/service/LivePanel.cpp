#include "LivePanel.h"

#include <QChart>
#include <QChartView>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "app/core/values/ValueText.h"
#include "comm/LumClock.h"

namespace {

constexpr int kMinIntervalMs = 100;

QString StatsText(size_t channel, const ChannelStats& s) {
  const QString name = QString("G%1: ").arg(channel + 1);
  if (s.count == 0) return name + "нет значений";
  return name + QString("мин %1, макс %2, среднее %3")
                    .arg(QString::fromStdString(FloatText(s.min)))
                    .arg(QString::fromStdString(FloatText(s.max)))
                    .arg(QString::fromStdString(FloatText(static_cast<float>(s.mean))));
}

}  // namespace

TLivePanel::TLivePanel(Workbench& bench, QWidget* parent) : QWidget(parent), bench_(bench) {
  setObjectName("LivePanel");
  EInterval = new QSpinBox(this);
  EInterval->setObjectName("EInterval");
  EInterval->setRange(kMinIntervalMs, 60000);
  EInterval->setSingleStep(100);
  EInterval->setValue(1000);
  EInterval->setSuffix(" мс");
  BRun = new QPushButton("Пуск", this);
  BRun->setObjectName("BRun");
  BExport = new QPushButton("Экспорт CSV…", this);
  BExport->setObjectName("BExport");

  auto* chart = new QChart;
  axisX_ = new QValueAxis;
  axisX_->setTitleText("Время, с");
  axisX_->setRange(0, 10);
  axisY_ = new QValueAxis;
  axisY_->setTitleText("G");
  chart->addAxis(axisX_, Qt::AlignBottom);
  chart->addAxis(axisY_, Qt::AlignLeft);
  for (size_t ch = 0; ch < Series.size(); ++ch) {
    Series[ch] = new QLineSeries;
    Series[ch]->setName(QString("G%1").arg(ch + 1));
    chart->addSeries(Series[ch]);
    Series[ch]->attachAxis(axisX_);
    Series[ch]->attachAxis(axisY_);
  }
  Chart = new QChartView(chart, this);
  Chart->setObjectName("Chart");
  Chart->setRenderHint(QPainter::Antialiasing);
  Chart->setMinimumSize(fontMetrics().averageCharWidth() * 80, fontMetrics().height() * 20);

  for (size_t ch = 0; ch < LStats.size(); ++ch) {
    LStats[ch] = new QLabel(StatsText(ch, {}), this);
    LStats[ch]->setObjectName(QString("LStatsG%1").arg(ch + 1));
  }
  LStatus = new QLabel(this);
  LStatus->setObjectName("LStatus");
  LStatus->setWordWrap(true);

  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel("Интервал опроса:", this));
  controls->addWidget(EInterval);
  controls->addWidget(BRun);
  controls->addStretch();
  controls->addWidget(BExport);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(Chart, 1);
  for (QLabel* l : LStats)
    layout->addWidget(l);
  layout->addWidget(LStatus);

  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &TLivePanel::Sample);
  connect(EInterval, &QSpinBox::valueChanged, timer_, [this](int ms) { timer_->setInterval(ms); });
  connect(BRun, &QPushButton::clicked, this, [this] { Running() ? Pause() : Start(); });
  connect(BExport, &QPushButton::clicked, this, &TLivePanel::Export);
}

TLivePanel::~TLivePanel() {
  Pause();
}

void TLivePanel::hideEvent(QHideEvent* event) {
  if (!event->spontaneous()) Pause();
  QWidget::hideEvent(event);
}

void TLivePanel::Start() {
  if (Running()) return;
  if (bench_.MeterPort().device.empty() && bench_.MeterPort().name.empty()) {
    LStatus->setText("Нет прибора: сначала прочитайте его в главном окне");
    return;
  }
  hold_ = std::make_unique<Workbench::Operation>(bench_);
  if (!hold_->Held()) {
    hold_.reset();
    LStatus->setText("Прибор занят: идёт другая операция");
    return;
  }
  live_ = std::make_unique<TLiveValues>(bench_.GetCatalogue());
  const LiveStartResult r = live_->Start(bench_.MeterPort());
  if (r.result != LiveStart::Ok) {
    live_.reset();
    hold_.reset();
    LStatus->setText(QString::fromStdString(r.message).trimmed());
    return;
  }
  // A run after a pause continues the recording's time, the pause a gap in it.
  if (samples_.empty()) originMs_ = lum::NowMs();
  offsetMs_ = lum::NowMs() - originMs_;
  meter_ = QString::fromStdString(r.model) + (bench_.Demo() ? " (демо)" : "");
  Series[1]->setVisible(r.channels > 1);
  LStats[1]->setVisible(r.channels > 1);
  LStatus->setText(meter_ + ": опрос");
  BRun->setText("Пауза");
  timer_->start(EInterval->value());
  Sample();
}

void TLivePanel::Pause() {
  const bool wasRunning = Running();
  timer_->stop();
  live_.reset();  // closes the port
  hold_.reset();
  BRun->setText("Пуск");
  if (wasRunning) LStatus->setText(meter_ + ": пауза");
}

void TLivePanel::Sample() {
  // A reply may take longer than the interval: one sample at a time.
  if (!live_ || sampling_) return;
  sampling_ = true;
  LiveSample s = live_->Poll();
  sampling_ = false;
  s.ms += offsetMs_;
  samples_.push_back(s);
  QStringList silent;
  for (size_t ch = 0; ch < s.channels && ch < Series.size(); ++ch) {
    if (s.ok[ch])
      Series[ch]->append(static_cast<double>(s.ms) / 1000.0, static_cast<double>(s.value[ch]));
    else
      silent << QString("G%1").arg(ch + 1);
  }
  const QString time = QString::fromStdString(LiveLocalTime(s)).mid(11);
  LStatus->setText(silent.isEmpty()
                       ? meter_ + ": опрос"
                       : meter_ + ": нет ответа (" + silent.join(", ") + ") в " + time);
  ShowSpan(s.ms);
}

// The last kVisibleMs in view: older points leave the chart (not the
// recording), the axes follow, and the statistics are of what is in view.
void TLivePanel::ShowSpan(uint64_t nowMs) {
  const uint64_t fromMs = nowMs > kVisibleMs ? nowMs - kVisibleMs : 0;
  const double from = static_cast<double>(fromMs) / 1000.0;
  for (QLineSeries* series : Series) {
    int old = 0;
    while (old < series->count() && series->at(old).x() < from)
      ++old;
    if (old > 0) series->removePoints(0, old);
  }
  axisX_->setRange(from, std::max(from + 10.0, static_cast<double>(nowMs) / 1000.0));
  const auto stats = SpanStats(samples_, fromMs, nowMs);
  bool any = false;
  double lo = 0, hi = 0;
  for (size_t ch = 0; ch < stats.size(); ++ch) {
    LStats[ch]->setText(StatsText(ch, stats[ch]));
    if (stats[ch].count == 0 || !Series[ch]->isVisible()) continue;
    lo = any ? std::min(lo, double{stats[ch].min}) : stats[ch].min;
    hi = any ? std::max(hi, double{stats[ch].max}) : stats[ch].max;
    any = true;
  }
  if (!any) return;
  // A flat line sits in the middle rather than on an edge.
  const double pad = hi > lo ? (hi - lo) * 0.1 : std::max(std::abs(hi) * 0.05, 0.1);
  axisY_->setRange(lo - pad, hi + pad);
}

bool TLivePanel::Export() {
  const QString path = exportPath ? exportPath()
                                  : QFileDialog::getSaveFileName(this, "Экспорт CSV", "G.csv",
                                                                 "CSV (*.csv);;Все файлы (*)");
  return !path.isEmpty() && WriteCsv(path);
}

bool TLivePanel::WriteCsv(const QString& path) {
  const std::string csv = LiveCsv(
      samples_, bench_.GetSettings().CsvExcel() ? CsvDialect::RussianExcel : CsvDialect::Plain);
  // Written whole or not at all: an older file of that name stays as it was.
  QSaveFile file(path);
  const bool ok =
      file.open(QIODevice::WriteOnly) &&
      file.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
      file.commit();
  LStatus->setText(ok ? QString("Сохранено измерений: %1 в %2").arg(samples_.size()).arg(path)
                      : QString("Не удалось записать %1: %2").arg(path, file.errorString()));
  return ok;
}
