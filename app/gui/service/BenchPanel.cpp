#include "BenchPanel.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "app/core/base/RegularFile.h"

namespace {

constexpr int kIdRole = Qt::UserRole;       // a built-in profile's id
constexpr int kOwnRole = Qt::UserRole + 1;  // an own profile's index in own_, -1 for a built-in

const char* const kHeaders[TBenchPanel::CCount] = {
    "Канал",           "Расход,\nм³/ч",     "Прогонов",   "MF",
    "Погрешность,\n%", "Повторяемость,\n%", "Предел,\n%", "С учётом\nнеопределённости, %",
    "Результат"};

// Broken by hand: a wrapped label would leave the view's height to be found
// for its width, and the window would then come out too low for the chart.
const char* const kHint =
    "Прогоны в CSV: первая строка — заголовок, далее по строке на прогон:\n"
    "канал; расход, м³/ч; эталон; показание; время, с; неопределённость U, % (можно "
    "опустить).\n"
    "Разделитель «,» или «;» (с «;» — десятичная запятая).";

const char* const kExample =
    "канал;расход;эталон;показание;время;U\n"
    "1;0,5;50;50,6;120;0,2\n"
    "1;2,5;100;100,3;60;0,2";

// The flow fields of ProfileFlows, with the profiles that ask for them.
struct FlowField {
  const char* label;
  std::optional<double> ProfileFlows::*flow;
  FlowsNeeded neededBy;
};
const FlowField kFlowFields[] = {{"Q1, м³/ч:", &ProfileFlows::q1, FlowsNeeded::R49},
                                 {"Q2, м³/ч:", &ProfileFlows::q2, FlowsNeeded::R49},
                                 {"Q3, м³/ч:", &ProfileFlows::q3, FlowsNeeded::R49},
                                 {"R = Q3/Q1:", &ProfileFlows::ratio, FlowsNeeded::R49},
                                 {"qp, м³/ч:", &ProfileFlows::qp, FlowsNeeded::Qp}};

QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

QString Fixed(double v, int places, bool sign = false) {
  return (sign && v > 0 ? "+" : "") + QString::number(v, 'f', places);
}

QString Limit(const std::optional<double>& v) {
  return v ? "±" + Fixed(*v, 2) : QString("—");
}

// ±MPE from 0 to hi, each band on its own span so that the line steps at its
// edges; EN 1434's limit falls with the flow and is sampled along the band.
std::vector<QPointF> LimitCurve(const BenchProfile& profile, double hi) {
  std::vector<LimitBand> bands = profile.bands;
  std::sort(bands.begin(), bands.end(),
            [](const LimitBand& a, const LimitBand& b) { return a.from < b.from; });
  std::vector<QPointF> curve;
  for (const LimitBand& band : bands) {
    const double to = std::min(band.to, hi);
    if (band.from >= to) continue;
    const int steps = profile.qp > 0 ? 60 : 1;
    for (int i = 0; i <= steps; ++i) {
      // The band's last flow, not its edge, which is the next band's.
      const double q =
          i == steps ? std::nextafter(to, band.from) : band.from + (to - band.from) * i / steps;
      if (const auto limit = LimitAt(profile, q); limit && std::isfinite(*limit))
        curve.emplace_back(q, *limit);
    }
  }
  return curve;
}

QLineSeries* Series(const QString& name, const QPen& pen) {
  auto* series = new QLineSeries;
  series->setName(name);
  series->setPen(pen);
  return series;
}

}  // namespace

TBenchPanel::TBenchPanel(Workbench& bench, QWidget* parent) : QWidget(parent), bench_(bench) {
  setObjectName("BenchPanel");
  auto* hint = new QLabel(kHint, this);
  ERuns = new QPlainTextEdit(this);
  ERuns->setObjectName("ERuns");
  ERuns->setPlaceholderText(kExample);
  ERuns->setLineWrapMode(QPlainTextEdit::NoWrap);
  ERuns->setMinimumHeight(fontMetrics().lineSpacing() * 7);
  LError = new QLabel(this);
  LError->setObjectName("LError");
  LError->setWordWrap(true);
  LError->setStyleSheet("color: #b00000;");
  LError->setTextInteractionFlags(Qt::TextSelectableByMouse);

  Table = new QTableWidget(0, CCount, this);
  Table->setObjectName("BenchTable");
  QStringList headers;
  for (const char* h : kHeaders)
    headers << h;
  Table->setHorizontalHeaderLabels(headers);
  Table->verticalHeader()->hide();
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  Table->horizontalHeader()->setStretchLastSection(true);
  Table->setMinimumHeight(Table->horizontalHeader()->sizeHint().height() +
                          4 * Table->verticalHeader()->defaultSectionSize());
  // Every column whole without scrolling: its heading, or the widest value.
  const int widest = Table->fontMetrics().horizontalAdvance("-0.000000") + 12;
  int width = 2 * Table->frameWidth() + 2;
  for (int c = 0; c < CCount; ++c)
    width += std::max(Table->horizontalHeader()->sectionSizeHint(c), widest);
  Table->setMinimumWidth(width);
  LVerdict = new QLabel(this);
  LVerdict->setObjectName("LVerdict");

  auto* chart = new QChart;
  axisX_ = new QValueAxis;
  axisX_->setTitleText("Расход, м³/ч");
  axisY_ = new QValueAxis;
  axisY_->setTitleText("Погрешность, %");
  chart->addAxis(axisX_, Qt::AlignBottom);
  chart->addAxis(axisY_, Qt::AlignLeft);
  Chart = new QChartView(chart, this);
  Chart->setObjectName("BenchChart");
  Chart->setRenderHint(QPainter::Antialiasing);
  Chart->setMinimumSize(fontMetrics().averageCharWidth() * 70, fontMetrics().height() * 22);

  BPropose = new QPushButton("Предложить регулировку", this);
  BPropose->setObjectName("BPropose");
  EProposal = new QPlainTextEdit(this);
  EProposal->setObjectName("EProposal");
  EProposal->setReadOnly(true);
  EProposal->setLineWrapMode(QPlainTextEdit::NoWrap);
  // The model's words, its longest line, shown whole.
  int proposalWidth = 0;
  for (const QString& line : QString(kAdjustModelText).split("; "))
    proposalWidth = std::max(proposalWidth, EProposal->fontMetrics().horizontalAdvance(line));
  EProposal->setMinimumWidth(proposalWidth + 2 * EProposal->frameWidth() + 24);
  EProposal->setPlaceholderText("Новые K0 и Ku каждого канала и ожидаемая погрешность по точкам");

  auto* top = new QHBoxLayout;
  auto* runs = new QVBoxLayout;
  runs->addWidget(hint);
  runs->addWidget(ERuns, 1);
  runs->addWidget(LError);
  top->addLayout(runs, 1);
  top->addWidget(CreateProfileForm(), 0, Qt::AlignTop);
  auto* proposal = new QVBoxLayout;
  proposal->addWidget(BPropose, 0, Qt::AlignLeft);
  proposal->addWidget(EProposal, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(Chart, 1);
  bottom->addLayout(proposal);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(Table);
  layout->addWidget(LVerdict);
  layout->addLayout(bottom, 1);

  connect(ERuns, &QPlainTextEdit::textChanged, this, &TBenchPanel::Evaluate);
  connect(CBProfile, &QComboBox::currentIndexChanged, this, [this] {
    EnableFlows();
    Evaluate();
  });
  connect(BPropose, &QPushButton::clicked, this, &TBenchPanel::ProposeClick);
  LoadProfiles(ProfilesIniPath());
}

QWidget* TBenchPanel::CreateProfileForm() {
  auto* form = new QWidget(this);
  auto* layout = new QFormLayout(form);
  layout->setContentsMargins(0, 0, 0, 0);
  CBProfile = new QComboBox(form);
  CBProfile->setObjectName("CBProfile");
  layout->addRow("Профиль:", CBProfile);
  for (QLineEdit** field : {&EQ1, &EQ2, &EQ3, &ERatio, &EQp})
    *field = new QLineEdit(form);
  QLineEdit* const edits[] = {EQ1, EQ2, EQ3, ERatio, EQp};
  for (size_t i = 0; i < std::size(kFlowFields); ++i) {
    edits[i]->setObjectName(QString("E") + QString(kFlowFields[i].label).section(',', 0, 0));
    edits[i]->setMaximumWidth(fontMetrics().averageCharWidth() * 12);
    layout->addRow(kFlowFields[i].label, edits[i]);
    connect(edits[i], &QLineEdit::textChanged, this, &TBenchPanel::Evaluate);
  }
  EQ3->setToolTip("Q3 и R вместо Q1 и Q2: Q1 = Q3/R, Q2 = 1,6·Q1");
  ERatio->setToolTip(EQ3->toolTip());
  return form;
}

void TBenchPanel::LoadProfiles(const std::string& path) {
  own_.clear();
  profilesFault_.clear();
  std::string why;
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    const std::optional<std::string> text = ReadRegularFile(path, kMaxRunsText, why);
    const ProfilesParse parsed = text ? ParseProfiles(*text) : ProfilesParse{{}, why};
    if (parsed.Ok())
      own_ = parsed.profiles;
    else
      profilesFault_ = Text(path + ": " + parsed.error);
  }
  const QSignalBlocker quiet(CBProfile);
  const QString chosen = CBProfile->currentText();
  CBProfile->clear();
  for (const std::string& id : BuiltInProfileIds()) {
    CBProfile->addItem(Text(BuiltInProfileName(id)), Text(id));
    CBProfile->setItemData(CBProfile->count() - 1, -1, kOwnRole);
  }
  for (size_t i = 0; i < own_.size(); ++i) {
    CBProfile->addItem(Text(own_[i].name), Text(own_[i].id));
    CBProfile->setItemData(CBProfile->count() - 1, static_cast<int>(i), kOwnRole);
  }
  CBProfile->setCurrentIndex(std::max(0, CBProfile->findText(chosen)));
  EnableFlows();
  Evaluate();
}

void TBenchPanel::EnableFlows() {
  const bool own = CBProfile->currentData(kOwnRole).toInt() >= 0;
  const FlowsNeeded needed =
      own ? FlowsNeeded::None
          : FlowsNeededBy(CBProfile->currentData(kIdRole).toString().toStdString());
  QLineEdit* const edits[] = {EQ1, EQ2, EQ3, ERatio, EQp};
  for (size_t i = 0; i < std::size(kFlowFields); ++i)
    edits[i]->setEnabled(needed != FlowsNeeded::None && kFlowFields[i].neededBy == needed);
}

ProfileResult TBenchPanel::ChosenProfile() const {
  const int own = CBProfile->currentData(kOwnRole).toInt();
  if (own >= 0 && static_cast<size_t>(own) < own_.size())
    return {own_[static_cast<size_t>(own)], {}};
  ProfileFlows flows;
  QLineEdit* const edits[] = {EQ1, EQ2, EQ3, ERatio, EQp};
  for (size_t i = 0; i < std::size(kFlowFields); ++i) {
    QString text = edits[i]->text().trimmed();
    if (!edits[i]->isEnabled() || text.isEmpty()) continue;
    bool ok = false;
    const double v = QLocale::c().toDouble(text.replace(',', '.'), &ok);
    if (!ok)
      return {{}, QString("%1 «%2» — не число").arg(kFlowFields[i].label, text).toStdString()};
    flows.*kFlowFields[i].flow = v;
  }
  return BuiltInProfile(CBProfile->currentData(kIdRole).toString().toStdString(), flows);
}

void TBenchPanel::ShowFault(const QString& text) {
  QStringList faults;
  if (!text.isEmpty()) faults << text;
  if (!profilesFault_.isEmpty()) faults << "Свои профили не прочитаны: " + profilesFault_;
  LError->setText(faults.join("\n"));
  LError->setVisible(!faults.isEmpty());
}

void TBenchPanel::Evaluate() {
  result_.reset();
  Table->setRowCount(0);
  Chart->chart()->removeAllSeries();
  LVerdict->clear();
  EProposal->clear();
  const std::string text = ERuns->toPlainText().toStdString();
  QString fault;
  if (text.find_first_not_of(" \t\r\n") != std::string::npos) {
    const RunsParse runs = ParseRuns(text);
    const ProfileResult profile = ChosenProfile();
    if (!runs.Ok())
      fault = "Прогоны: " + Text(runs.error);
    else if (!profile.Ok())
      fault = "Профиль: " + Text(profile.error);
    else
      result_ = EvaluateRuns(runs.runs, profile.profile);
    if (result_) {
      FillTable(*result_);
      DrawChart(*result_, profile.profile);
      ShowVerdict(*result_);
    }
  }
  ShowFault(fault);
  ShowMeter();
}

void TBenchPanel::FillTable(const BenchResult& result) {
  for (const ChannelResult& ch : result.channels)
    for (const PointResult& p : ch.points) {
      const int row = Table->rowCount();
      Table->insertRow(row);
      const QString cells[CCount] = {
          QString::number(ch.channel),
          QString::number(p.flow),
          QString::number(p.runs),
          Fixed(p.mf, 6),
          Fixed(p.errorPercent, 3, true),
          p.repeatabilityPercent ? Fixed(*p.repeatabilityPercent, 3) : QString("—"),
          Limit(p.limitPercent),
          Limit(p.acceptancePercent),
          p.pass ? "годен" : "не годен"};
      QStringList notes;
      for (const std::string& note : p.notes)
        notes << Text(note);
      for (int c = 0; c < CCount; ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        item->setTextAlignment((c == CResult ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
        item->setToolTip(notes.join("\n"));
        if (c == CResult) item->setForeground(p.pass ? QColor(0, 120, 0) : QColor(176, 0, 0));
        Table->setItem(row, c, item);
      }
    }
}

void TBenchPanel::ShowVerdict(const BenchResult& result) {
  QStringList channels;
  for (const ChannelResult& ch : result.channels)
    channels << QString("канал %1 %2").arg(ch.channel).arg(ch.pass ? "годен" : "не годен");
  LVerdict->setText(QString("Итог (%1): %2 — %3")
                        .arg(Text(result.profileName),
                             result.pass ? "прибор годен" : "прибор не годен",
                             channels.join(", ")));
  LVerdict->setStyleSheet(result.pass ? "color: #007800; font-weight: bold;"
                                      : "color: #b00000; font-weight: bold;");
}

void TBenchPanel::DrawChart(const BenchResult& result, const BenchProfile& profile) {
  QChart* chart = Chart->chart();
  double hi = 0, span = 0;
  const QColor colors[] = {QColor(0, 90, 200), QColor(0, 150, 60)};
  std::vector<QPointF> acceptance;
  std::vector<QLineSeries*> all, lower;
  for (const ChannelResult& ch : result.channels) {
    auto* series =
        Series(QString("Канал %1").arg(ch.channel), QPen(colors[ch.channel == 1 ? 0 : 1], 2));
    series->setPointsVisible(true);
    for (const PointResult& p : ch.points) {
      series->append(p.flow, p.errorPercent);
      hi = std::max(hi, p.flow);
      span = std::max(span, std::abs(p.errorPercent));
      if (p.guardBandNeeded && p.acceptancePercent)
        acceptance.emplace_back(p.flow, *p.acceptancePercent);
    }
    all.push_back(series);
  }
  hi *= 1.1;
  const std::vector<QPointF> limit = LimitCurve(profile, hi);
  std::sort(acceptance.begin(), acceptance.end(),
            [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
  for (int sign : {1, -1}) {
    auto* mpe = Series("Предел ±МПП", QPen(QColor(200, 0, 0), 1.5));
    for (const QPointF& p : limit) {
      mpe->append(p.x(), sign * p.y());
      span = std::max(span, p.y());
    }
    all.push_back(mpe);
    if (sign < 0) lower.push_back(mpe);
    if (acceptance.empty()) continue;
    auto* accept = Series("Допуск МПП − U", QPen(QColor(220, 120, 0), 1.5, Qt::DashLine));
    for (const QPointF& p : acceptance)
      accept->append(p.x(), sign * p.y());
    all.push_back(accept);
    if (sign < 0) lower.push_back(accept);
  }
  for (QLineSeries* series : all) {
    chart->addSeries(series);
    series->attachAxis(axisX_);
    series->attachAxis(axisY_);
  }
  // The lower limits are named once in the legend, by the upper ones.
  for (QLineSeries* series : lower)
    for (QLegendMarker* marker : chart->legend()->markers(series))
      marker->setVisible(false);
  axisX_->setRange(0, hi > 0 ? hi : 1);
  axisX_->applyNiceNumbers();
  const double y = std::max(1.0, std::ceil(span * 1.2));
  axisY_->setRange(-y, y);
}

void TBenchPanel::ShowMeter() {
  const bool meter = bench_.HaveMeter();
  BPropose->setEnabled(meter && result_);
  BPropose->setToolTip(!meter ? "Нет прибора: сначала прочитайте его в главном окне"
                       : !result_ ? "Сначала введите прогоны"
                                  : "По K0, Ku и Gmax последнего чтения прибора");
}

void TBenchPanel::ProposeClick() {
  if (!result_ || !bench_.HaveMeter()) return ShowMeter();
  std::vector<ChannelCoefficients> coefficients;
  const MeterReading& reading = bench_.LastReading();
  for (uint8_t ch = 1; ch <= 2; ++ch) {
    const ChannelReading& c = reading.channels[ch - 1];
    if (!c.k0.Read() || !c.ku.Read() || c.gmaxState != ValueState::Read || !(c.gmax > 0)) continue;
    // The model takes K0 as a share of Gmax; the window shows it scaled by Gmax.
    coefficients.push_back({ch, c.k0Shown / c.gmax, c.kuShown, c.gmax});
  }
  const AdjustProposal proposal = ProposeAdjustment(*result_, coefficients);
  if (!proposal.Ok())
    return EProposal->setPlainText("Регулировка не предлагается: " + Text(proposal.error));
  QStringList lines;
  for (const ChannelAdjustment& adj : proposal.channels) {
    lines << QString("Канал %1, Gmax %2 м³/ч:").arg(adj.before.channel).arg(adj.before.gmax)
          << QString("  K0  %1 → %2").arg(adj.before.k0, 0, 'g', 7).arg(adj.after.k0, 0, 'g', 7)
          << QString("  Ku  %1 → %2").arg(adj.before.ku, 0, 'g', 7).arg(adj.after.ku, 0, 'g', 7)
          << "  погрешность: сейчас → после";
    for (const PredictedPoint& p : adj.points)
      lines << QString("  %1 м³/ч: %2 % → %3 %")
                   .arg(p.flow)
                   .arg(Fixed(p.asFoundError, 3, true), Fixed(p.asLeftError, 3, true));
  }
  lines << "K0 — доля Gmax; K0, Ku и Gmax —"
        << "по последнему чтению прибора." << QString(kAdjustModelText).split("; ").join(";\n");
  EProposal->setPlainText(lines.join("\n"));
}
