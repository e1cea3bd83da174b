#include "ServiceWindow.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/core/base/Cp1251.h"
#include "app/core/ops/MeterSnapshotRead.h"
#include "app/core/values/ReadFields.h"
#include "app/core/values/StorableValue.h"
#include "app/core/values/ValueText.h"
#include "app/gui/AboutBox.h"
#include "app/gui/BusyCursor.h"
#include "app/gui/FormScale.h"
#include "app/gui/service/BenchPanel.h"
#include "app/gui/service/TrafficPanel.h"

namespace {

constexpr int kStored = Qt::UserRole;       // the value the meter holds (float)
constexpr int kChanged = Qt::UserRole + 1;  // the cell differs from it
constexpr int kStale = Qt::UserRole + 2;    // the meter may hold something else by now

// A number as the engineer types it: '.' or ',' between whole and fraction;
// nothing for one the meter would store as something else.
std::optional<float> ParseValue(QString text, std::string& why) {
  text = text.trimmed().replace(',', '.');
  bool ok = false;
  const double value = QLocale::c().toDouble(text, &ok);
  why = "не число";
  if (!ok) return std::nullopt;
  return StorableFloat(value, why);
}

WriteRequest Request(WriteKind kind) {
  WriteRequest r;
  r.kind = kind;
  return r;
}

int Column(int list, int channel) {
  return (channel - 1) * 2 + list;
}

QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

// Obr[0] and Obr[1] are K0 and Ku once more: they are edited there.
QString PlainToolTip(int list, int index) {
  return list == 1 && index <= 1 ? "То же, что K[" + QString::number(index) + "]" : QString();
}

// "ZFK-31" for the meter a read path reaches; empty for none.
QString ModelName(ReadPath path) {
  const auto model = ModelOfPath(path);
  return model ? QString::fromLatin1(RowOf(*model).name) : QString();
}

std::optional<QDateTime> ClockTime(const ClockReading& clock) {
  const auto t = clock.Time();
  if (clock.state != ValueState::Read || !t) return std::nullopt;
  return QDateTime(QDate(2000 + t->Year, t->Month, t->Day), QTime(t->Hour, t->Minute, t->Second));
}

QString OutcomeText(const WriteOutcome& o, const std::string& message) {
  switch (o.status) {
    case WriteStatus::Verified:
      return QString("Записано и проверено: %1 из %1.").arg(o.verification.size());
    case WriteStatus::DryRun:
      return "Отменено: ничего не записано.";
    case WriteStatus::Failed: {
      QString failed;
      for (size_t n = 0; n < o.verification.size(); ++n)
        if (o.verification[n] != Verification::Verified)
          failed += QString("%1%2: %3")
                        .arg(failed.isEmpty() ? "" : "; ", Text(o.after.items[n].Name()),
                             VerificationText(o.verification[n]));
      return "Записано не всё. " + failed;
    }
    default:
      return "Не записано: " + Text(o.reason.empty() ? message : o.reason);
  }
}

}  // namespace

TFrmService::TFrmService(Workbench& bench, QWidget* parent)
    : QWidget(parent, Qt::Window), bench_(bench), inspector_(HeldInspectorMode()) {
  setObjectName("FrmService");
  setWindowTitle("Сервис");
  auto* layout = new QVBoxLayout(this);
  LMeter = new QLabel(this);
  LMeter->setObjectName("LMeter");
  LMeter->setWordWrap(true);
  layout->addWidget(LMeter);
  if (inspector_.On()) layout->addWidget(LInspector = CreateInspectorLine());
  Tabs = new QTabWidget(this);
  Tabs->setObjectName("Tabs");
  Tabs->addTab(CreateCoefView(), "Коэффициенты");
  Tabs->addTab(CreateSealView(), "Пломба");
  ClockView = CreateClockView();
  Tabs->addTab(ClockView, "Часы");
  Traffic = new TTrafficPanel(Tabs);
  Tabs->addTab(Traffic, "Обмен");
  BenchView = new TBenchPanel(bench_, Tabs);
  Tabs->addTab(BenchView, "Поверка");
  layout->addWidget(Tabs, 1);

  LStatus = new QLabel(this);
  LStatus->setObjectName("LStatus");
  LStatus->setWordWrap(true);
  LStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
  BAbout = new QPushButton("О программе", this);
  BAbout->setObjectName("BAbout");
  connect(BAbout, &QPushButton::clicked, this, [this] { ShowAboutBox(this); });
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(LStatus, 1);
  bottom->addWidget(BAbout, 0, Qt::AlignBottom);
  layout->addLayout(bottom);

  ticker_ = new QTimer(this);
  connect(ticker_, &QTimer::timeout, this, &TFrmService::Tick);
  ticker_->start(1000);
  // Resizable; the drawn size grows with the font.
  const QSize drawn(qRound(460.0 * fontMetrics().averageCharWidth() / kDrawnLetterWidth),
                    qRound(300.0 * fontMetrics().height() / kDrawnTextHeight));
  resize(drawn.expandedTo(minimumSizeHint()));
  ShowMeter();
  Tick();
}

// The views may hold the meter (a live view gives it back when it goes): they
// go first, while this window is whole, not later with the other children.
TFrmService::~TFrmService() {
  delete Tabs;
}

QLabel* TFrmService::CreateInspectorLine() {
  auto* line = new QLabel(this);
  line->setObjectName("LInspector");
  line->setWordWrap(true);
  line->setTextFormat(Qt::PlainText);
  line->setStyleSheet("color: #8a4b00; font-weight: bold;");
  line->setText("Режим проверки: запись запрещена");
  line->setToolTip(Text(inspector_.Reason()));
  return line;
}

QWidget* TFrmService::CreateCoefView() {
  auto* view = new QWidget(this);
  CoefTable = new QTableWidget(10, 4, view);
  CoefTable->setObjectName("CoefTable");
  QStringList rows;
  for (int i = 0; i < 10; ++i)
    rows << (i == 0 ? "0 (K0)" : i == 1 ? "1 (Ku)" : QString::number(i));
  CoefTable->setVerticalHeaderLabels(rows);
  CoefTable->setHorizontalHeaderLabels({"K к.1", "Obr к.1", "K к.2", "Obr к.2"});
  CoefTable->setWordWrap(false);
  CoefTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  CoefTable->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  // Room for all ten rows, and for a float's longest text in every column.
  const QFontMetrics metrics = CoefTable->fontMetrics();
  CoefTable->horizontalHeader()->setMinimumSectionSize(metrics.horizontalAdvance("-0.00000000001") +
                                                       12);
  CoefTable->setMinimumWidth(CoefTable->verticalHeader()->sizeHint().width() +
                             4 * CoefTable->horizontalHeader()->minimumSectionSize() +
                             2 * CoefTable->frameWidth() + 2);
  CoefTable->setMinimumHeight(CoefTable->horizontalHeader()->sizeHint().height() +
                              10 * CoefTable->verticalHeader()->sectionSizeHint(0) +
                              2 * CoefTable->frameWidth() + 2);
  connect(CoefTable, &QTableWidget::itemChanged, this, &TFrmService::CoefEdited);
  BLoad = new QPushButton("Прочитать", view);
  BLoad->setObjectName("BLoad");
  BSnapshot = new QPushButton("Снимок", view);
  BSnapshot->setObjectName("BSnapshot");
  BSnapshot->setToolTip("Прочитать всё и записать снимок в журнал обслуживания");
  BWriteCoefs = new QPushButton("Записать", view);
  BWriteCoefs->setObjectName("BWriteCoefs");
  BResetCoefs = new QPushButton("Сбросить к исходным", view);
  BResetCoefs->setObjectName("BResetCoefs");
  BRestore = new QPushButton("Восстановить…", view);
  BRestore->setObjectName("BRestore");
  connect(BLoad, &QPushButton::clicked, this, &TFrmService::LoadClick);
  connect(BSnapshot, &QPushButton::clicked, this, &TFrmService::SnapshotClick);
  connect(BWriteCoefs, &QPushButton::clicked, this, &TFrmService::WriteCoefsClick);
  connect(BResetCoefs, &QPushButton::clicked, this, &TFrmService::ResetCoefsClick);
  connect(BRestore, &QPushButton::clicked, this, &TFrmService::RestoreClick);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {BLoad, BSnapshot, BWriteCoefs, BResetCoefs, BRestore})
    buttons->addWidget(b);
  if (inspector_.On())
    for (QPushButton* b : {BWriteCoefs, BResetCoefs, BRestore})
      b->hide();
  buttons->addStretch();
  auto* layout = new QVBoxLayout(view);
  layout->addWidget(CoefTable, 1);
  layout->addLayout(buttons);
  return view;
}

QWidget* TFrmService::CreateSealView() {
  auto* view = new QWidget(this);
  ESeal = new QLineEdit(view);
  ESeal->setObjectName("ESeal");
  ESeal->setPlaceholderText("8 знаков, например C1051234");
  LSealNow = new QLabel(view);
  LSealNow->setObjectName("LSealNow");
  LSealShown = new QLabel(view);
  LSealShown->setObjectName("LSealShown");
  LSealBytes = new QLabel(view);
  LSealBytes->setObjectName("LSealBytes");
  LSealBytes->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  LSealBytes->setTextInteractionFlags(Qt::TextSelectableByMouse);
  BWriteSeal = new QPushButton("Записать пломбу", view);
  BWriteSeal->setObjectName("BWriteSeal");
  connect(ESeal, &QLineEdit::textChanged, this, &TFrmService::ShowSealPreview);
  connect(BWriteSeal, &QPushButton::clicked, this, &TFrmService::WriteSealClick);
  auto* grid = new QGridLayout(view);
  int row = 0;
  // An inspector sees the seal the meter holds, and nothing of a new one.
  for (auto [label, field] :
       std::initializer_list<std::pair<const char*, QWidget*>>{{"В приборе:", LSealNow},
                                                               {"Пломба:", ESeal},
                                                               {"Будет видно:", LSealShown},
                                                               {"Байты записи:", LSealBytes}}) {
    auto* caption = new QLabel(label, view);
    grid->addWidget(caption, row, 0, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(field, row++, 1);
    if (inspector_.On() && field != LSealNow) {
      caption->hide();
      field->hide();
    }
  }
  grid->addWidget(BWriteSeal, row++, 1, Qt::AlignLeft);
  if (inspector_.On()) BWriteSeal->hide();
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(1, 1);
  return view;
}

QWidget* TFrmService::CreateClockView() {
  auto* view = new QWidget(this);
  LMeterTime = new QLabel("—", view);
  LMeterTime->setObjectName("LMeterTime");
  LComputerTime = new QLabel(view);
  LComputerTime->setObjectName("LComputerTime");
  LClockDiff = new QLabel("—", view);
  LClockDiff->setObjectName("LClockDiff");
  BLoadClock = new QPushButton("Прочитать", view);
  BLoadClock->setObjectName("BLoadClock");
  BSetClock = new QPushButton("Установить время", view);
  BSetClock->setObjectName("BSetClock");
  connect(BLoadClock, &QPushButton::clicked, this, &TFrmService::LoadClick);
  connect(BSetClock, &QPushButton::clicked, this, &TFrmService::SetClockClick);
  auto* grid = new QGridLayout(view);
  int row = 0;
  for (auto [label, field] :
       std::initializer_list<std::pair<const char*, QWidget*>>{{"Время прибора:", LMeterTime},
                                                               {"Время компьютера:", LComputerTime},
                                                               {"Разница:", LClockDiff}}) {
    grid->addWidget(new QLabel(label, view), row, 0, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(field, row++, 1);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(BLoadClock);
  buttons->addWidget(BSetClock);
  buttons->addStretch();
  if (inspector_.On()) BSetClock->hide();
  grid->addLayout(buttons, row++, 0, 1, 2);
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(1, 1);
  return view;
}

void TFrmService::AddView(QWidget* view, const QString& title) {
  view->setParent(Tabs);
  Tabs->addTab(view, title);
}

void TFrmService::ShowMeter() {
  const bool have = bench_.HaveMeter();
  Tabs->setEnabled(have);
  const int clockTab = Tabs->indexOf(ClockView);
  const MeterReading& r = bench_.LastReading();
  const auto model = ModelOfPath(r.path);
  const bool clock = have && model && RowOf(*model).hasClock;
  if (clock && clockTab < 0) Tabs->insertTab(2, ClockView, "Часы");
  if (!clock && clockTab >= 0) Tabs->removeTab(clockTab);
  BenchView->ShowMeter();
  if (!have) {
    LMeter->setText("Сначала прочитайте прибор в главном окне (кнопка «Прочитать»).");
    return;
  }
  const QString meter = QString("%1 № %2, %3, адрес %4")
                            .arg(Text(r.model), Text(r.serial), Text(r.port))
                            .arg(r.address);
  if (LMeter->text() == meter) return;
  // Another meter: nothing loaded for the last one stays on show.
  LMeter->setText(meter);
  MeterSnapshot none;
  none.channels[0].present = true;
  none.channels[1].present = r.channels[1].k0.state != ValueState::NotRead;
  ShowSnapshot(none);
  LSealNow->setText("—");
  LMeterTime->setText("—");
  clockOffset_.reset();
  SetStatus({});
}

void TFrmService::SetStatus(const QString& text, bool failed) {
  LStatus->setText(text);
  LStatus->setStyleSheet(failed ? "color: #b00000;" : "");
}

QString TFrmService::StatusText() const {
  return LStatus->text();
}

QTableWidgetItem* TFrmService::CoefCell(int list, int channel, int index) const {
  return CoefTable->item(index, Column(list, channel));
}

void TFrmService::SetCoefColumns(const std::array<bool, 2>& present) {
  for (int channel = 1; channel <= 2; ++channel)
    for (int list = 0; list < 2; ++list)
      CoefTable->setColumnHidden(Column(list, channel), !present[channel == 1 ? 0 : 1]);
}

void TFrmService::ShowSnapshot(const MeterSnapshot& snap) {
  filling_ = true;
  SetCoefColumns({snap.channels[0].present, snap.channels[1].present});
  for (int channel = 1; channel <= 2; ++channel)
    for (int list = 0; list < 2; ++list)
      for (int index = 0; index < 10; ++index) {
        const SnapshotChannel& ch = snap.channels[channel == 1 ? 0 : 1];
        const auto i = static_cast<size_t>(index);
        const Coefficient& c = list == 0 ? ch.k[i] : ch.obr[i];
        auto* cell = new QTableWidgetItem(c.state == ValueState::Read ? Text(FloatText(c.stored))
                                          : c.state == ValueState::Failed ? QString("ERR")
                                                                          : QString());
        const bool editable =
            !inspector_.On() && c.state == ValueState::Read && (list == 0 || index > 1);
        if (!editable) cell->setFlags(cell->flags() & ~Qt::ItemIsEditable);
        cell->setToolTip(PlainToolTip(list, index));
        if (c.state == ValueState::Read) cell->setData(kStored, c.stored);
        cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        CoefTable->setItem(index, Column(list, channel), cell);
      }
  filling_ = false;

  MeterReading reading;
  reading.record = snap.record;
  LSealNow->setText(Text(FieldText(reading, ReadField::EClbLic).value_or("") + "  " +
                         FieldText(reading, ReadField::EClbDate).value_or("")));
  if (snap.clock.state != ValueState::NotRead) ShowClock(snap.clock);
}

bool TFrmService::IsStale(const QTableWidgetItem* cell) {
  return cell && cell->data(kStale).toBool();
}

void TFrmService::MarkStale(int list, int channel, int index) {
  QTableWidgetItem* cell = CoefCell(list, channel, index);
  if (!cell || !cell->data(kStored).isValid()) return;
  const QSignalBlocker quiet(CoefTable);
  cell->setData(kStale, true);
  cell->setForeground(QBrush(Qt::gray));
  cell->setToolTip("значение устарело");
}

void TFrmService::MarkAllStale() {
  for (int channel = 1; channel <= 2; ++channel)
    for (int list = 0; list < 2; ++list)
      for (int index = 0; index < 10; ++index)
        MarkStale(list, channel, index);
}

void TFrmService::CoefEdited(QTableWidgetItem* cell) {
  if (filling_ || !cell->data(kStored).isValid()) return;
  std::string why;
  const std::optional<float> value = ParseValue(cell->text(), why);
  const bool changed = !value || BitsOfFloat(*value) != BitsOfFloat(cell->data(kStored).toFloat());
  const QSignalBlocker quiet(CoefTable);
  cell->setData(kChanged, changed);
  QFont font = cell->font();
  font.setBold(changed);
  cell->setFont(font);
  cell->setBackground(!value    ? QBrush(QColor(255, 200, 200))
                      : changed ? QBrush(QColor(255, 240, 170))
                                : QBrush());
  if (!value) SetStatus("«" + cell->text() + "»: " + Text(why), true);
}

void TFrmService::LoadClick() {
  if (!bench_.HaveMeter()) return ShowMeter();
  const Workbench::Operation op(bench_);
  if (!op.Held()) return SetStatus("Идёт другая операция", true);
  MeterSnapshot snap;
  {
    const BusyCursor busy;
    snap = TakeSnapshot(bench_.MeterPort(), bench_.GetCatalogue());
  }
  if (snap.result == ReadResult::PortError || snap.result == ReadResult::NotFound) MarkAllStale();
  if (!ShowTaken(snap)) return;
  SetStatus(snap.AnyFailed() ? "Прочитано, но не всё: пункты ERR прибор не отдал."
                             : "Прочитано из прибора.",
            snap.AnyFailed());
}

void TFrmService::SnapshotClick() {
  if (!bench_.HaveMeter()) return ShowMeter();
  const Workbench::Operation op(bench_);
  if (!op.Held()) return SetStatus("Идёт другая операция", true);
  MeterSnapshot snap;
  std::optional<JournalAppendResult> filed;
  {
    const BusyCursor busy;
    snap = bench_.SnapshotOfMeter(&filed);
  }
  emit Journalled();
  if (!ShowTaken(snap)) return;
  if (filed && !filed->ok)
    return SetStatus("Снимок не записан в журнал обслуживания: " + Text(filed->error), true);
  const QString journal = filed ? "снимок записан в журнал." : "журнал не ведётся.";
  SetStatus((snap.AnyFailed() ? "Прочитано, но не всё (пункты ERR), " : "Прочитано, ") + journal,
            snap.AnyFailed());
}

bool TFrmService::ShowTaken(const MeterSnapshot& snap) {
  if (snap.result == ReadResult::PortError) {
    SetStatus(Text(kPortOpenError + snap.port), true);
    return false;
  }
  if (snap.result == ReadResult::NotFound) {
    SetStatus("Прибор не найден", true);
    return false;
  }
  ShowSnapshot(snap);
  const MeterReading& r = bench_.LastReading();
  if (snap.serial != r.serial || snap.path != r.path) {
    SetStatus(QString("На линии другой прибор: %1 № %2. Прочитайте его в главном окне.")
                  .arg(ModelName(snap.path), Text(snap.serial)),
              true);
    return false;
  }
  if (!snap.integrity.empty()) {
    SetStatus("Внимание: " + Text(snap.integrity), true);
    return false;
  }
  return true;
}

bool TFrmService::HaveEngineer() {
  JournalSettings journal = bench_.Journal();
  if (!MissingForWrite(journal, "").engineer) return true;
  const QString name = AskEngineer(this, askingEngineer_);
  if (name.isEmpty()) {
    SetStatus(
        "Не записано: журнал обслуживания ведётся, а инженер не указан. Укажите его на "
        "вкладке «Журнал».",
        true);
    return false;
  }
  journal.engineer = name.toStdString();
  if (!bench_.SetJournal(journal)) {
    SetStatus(Text("Не записано: имя инженера не сохранено в " + bench_.SettingsPath()), true);
    return false;
  }
  emit Journalled();
  return true;
}

bool TFrmService::RunWrite(WriteRequest request) {
  // No control leads here in inspector mode; a click from elsewhere is
  // refused before the engineer is asked for anything.
  if (inspector_.On()) {
    SetStatus("Не записано: " + Text(inspector_.Reason()), true);
    return false;
  }
  if (!bench_.HaveMeter()) {
    ShowMeter();
    return false;
  }
  if (!HaveEngineer()) return false;
  const Workbench::Operation op(bench_);
  if (!op.Held()) {
    SetStatus("Идёт другая операция", true);
    return false;
  }
  request.saveDir = imageDir_.toStdString();
  request.demo = bench_.Demo();
  request.warnShare = bench_.GetSettings().WarnChangeShare();
  GuiWriteView view(this, answering_);
  view.SetReasonRequired(MissingForWrite(bench_.Journal(), "").reason);
  WriteOutcome outcome;
  {
    const BusyCursor busy;
    // The write runs on this thread: the window takes no close, and no other
    // click, until it is over and its outcome handed on for the journal.
    outcome = RunGuardedWrite(bench_.MeterPort(), bench_.GetCatalogue(), request, view, {},
                              &bench_.NewWriteRecorder());
  }
  emit Written(request.kind, outcome);
  SetStatus(OutcomeText(outcome, view.Message()),
            outcome.status != WriteStatus::Verified && outcome.status != WriteStatus::DryRun);
  lastOutcome_ = outcome;
  ShowWritten(outcome);
  return true;
}

// What the meter holds now, as read back after the write.
void TFrmService::ShowWritten(const WriteOutcome& outcome) {
  if (outcome.status != WriteStatus::Verified && outcome.status != WriteStatus::Failed &&
      outcome.status != WriteStatus::Interrupted)
    return;
  filling_ = true;
  for (const ImageItem& item : outcome.after.items) {
    // Sent, perhaps, and not read back: what the cell shows may be gone.
    if (!item.Read() && item.kind == ItemKind::Coef) {
      const CoefRef& at = item.coef.ref;
      const int list = at.list == CoefList::K ? 0 : 1;
      for (int l : {list, at.index <= 1 ? 1 - list : list})
        MarkStale(l, at.channel, at.index);
    }
    if (!item.Read()) continue;
    if (item.kind == ItemKind::Clock && item.bytes.size() == MeterClockBytes{}.size()) {
      ClockReading clock{ValueState::Read, {}};
      std::copy(item.bytes.begin(), item.bytes.end(), clock.raw.begin());
      ShowClock(clock);
    } else if (item.kind == ItemKind::Record &&
               item.bytes.size() == CalibrationRecordBytes{}.size()) {
      MeterReading reading;
      reading.record.state = ValueState::Read;
      std::copy(item.bytes.begin(), item.bytes.end(), reading.record.raw.begin());
      LSealNow->setText(Text(FieldText(reading, ReadField::EClbLic).value_or("") + "  " +
                             FieldText(reading, ReadField::EClbDate).value_or("")));
    } else if (item.kind == ItemKind::Coef) {
      const CoefRef& at = item.coef.ref;
      const int list = at.list == CoefList::K ? 0 : 1;
      for (int l : {list, at.index <= 1 ? 1 - list : list})
        if (QTableWidgetItem* cell = CoefCell(l, at.channel, at.index)) {
          cell->setText(Text(FloatText(item.coef.stored)));
          cell->setData(kStored, item.coef.stored);
          cell->setData(kChanged, false);
          cell->setData(kStale, false);
          cell->setFont(CoefTable->font());
          cell->setBackground(QBrush());
          cell->setForeground(QBrush());
          cell->setToolTip(PlainToolTip(l, at.index));
        }
    }
  }
  filling_ = false;
}

void TFrmService::WriteCoefsClick() {
  WriteRequest request = Request(WriteKind::Coefficients);
  for (int channel = 1; channel <= 2; ++channel)
    for (int list = 0; list < 2; ++list)
      for (int index = 0; index < 10; ++index) {
        const QTableWidgetItem* cell = CoefCell(list, channel, index);
        if (!cell || !cell->data(kChanged).toBool()) continue;
        std::string why;
        const std::optional<float> value = ParseValue(cell->text(), why);
        if (!value) return SetStatus("«" + cell->text() + "»: " + Text(why), true);
        request.coefficients.push_back(CoefTarget(list == 0 ? CoefList::K : CoefList::Obr,
                                                  static_cast<uint8_t>(channel),
                                                  static_cast<uint8_t>(index), *value));
      }
  if (request.coefficients.empty())
    return SetStatus("Нечего записывать: ни одно значение не изменено.", true);
  RunWrite(request);
}

void TFrmService::ResetCoefsClick() {
  RunWrite(Request(WriteKind::Reset));
}

void TFrmService::RestoreClick() {
  const QString path = QFileDialog::getOpenFileName(this, "Восстановить из файла", imageDir_,
                                                    "Снимки и образы (*.json);;Все файлы (*)");
  if (!path.isEmpty()) RestoreFrom(path);
}

void TFrmService::RestoreFrom(const QString& path) {
  std::string error;
  const std::optional<ItemsImage> image = LoadRestoreImage(path.toStdString(), error);
  if (!image) return SetStatus("Файл не образ и не снимок прибора: " + Text(error), true);
  WriteRequest request = Request(WriteKind::Restore);
  request.restore = image;
  RunWrite(request);
}

void TFrmService::ShowSealPreview() {
  WriteRequest request = Request(WriteKind::Seal);
  request.sealText = ESeal->text().toStdString();
  const std::string why = CheckRequest(request);
  if (!why.empty()) {
    LSealShown->setText("нужно ровно 8 знаков");
    LSealBytes->clear();
    return;
  }
  MeterReading reading;
  reading.record.state = ValueState::Read;
  reading.record.raw = BuildCalibrationRecord(Utf8ToCp1251(request.sealText));
  LSealShown->setText(Text(FieldText(reading, ReadField::EClbLic).value_or("") + "  " +
                           FieldText(reading, ReadField::EClbDate).value_or("")));
  QString bytes;
  for (uint8_t b : reading.record.raw)
    bytes += QString("%1 ").arg(b, 2, 16, QChar('0')).toUpper();
  LSealBytes->setText(bytes.trimmed());
}

void TFrmService::WriteSealClick() {
  WriteRequest request = Request(WriteKind::Seal);
  request.sealText = ESeal->text().toStdString();
  if (const std::string why = CheckRequest(request); !why.empty())
    return SetStatus("Не записано: " + Text(why), true);
  RunWrite(request);
}

void TFrmService::SetClockClick() {
  RunWrite(Request(WriteKind::Clock));
}

void TFrmService::ShowClock(const ClockReading& clock) {
  const std::optional<QDateTime> meter = ClockTime(clock);
  clockOffset_.reset();
  if (meter)
    clockOffset_ = QDateTime::currentDateTime().secsTo(*meter);  // Tick shows the time
  else
    LMeterTime->setText(clock.state == ValueState::Read ? "часы не установлены" : "нет ответа");
  Tick();
}

void TFrmService::Tick() {
  const QDateTime now = QDateTime::currentDateTime();
  LComputerTime->setText(now.toString("dd.MM.yyyy HH:mm:ss"));
  // The meter's clock runs on after the read: shown as the computer's time
  // plus the difference read, so that the two lines tick together.
  if (clockOffset_) LMeterTime->setText(now.addSecs(*clockOffset_).toString("dd.MM.yyyy HH:mm:ss"));
  QString diff = "—";
  if (clockOffset_)
    diff = QString("%1%2 с").arg(*clockOffset_ > 0 ? "+" : "").arg(*clockOffset_) +
           (*clockOffset_ > 0   ? " (прибор спешит)"
            : *clockOffset_ < 0 ? " (прибор отстаёт)"
                                : "");
  LClockDiff->setText(diff);
  if (!ESeal->text().isEmpty()) ShowSealPreview();
}
