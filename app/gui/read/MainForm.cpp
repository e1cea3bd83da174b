#include "MainForm.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>
#include <optional>

#include "DelaysForm.h"
#include "ScanDialog.h"
#include "app/gui/BusyCursor.h"
#include "app/gui/FormScale.h"
#include "app/gui/service/JournalPanel.h"
#include "app/gui/service/LivePanel.h"
#include "app/gui/service/ServiceWindow.h"

namespace {

constexpr int kPortCount = 32;
// A CBPort item of this run only keeps the device it opens here.
constexpr int kDeviceRole = Qt::UserRole;

QString ApplicationTitle() {
  return QApplication::applicationDisplayName();
}

}  // namespace

char LocaleDecimalSeparator() {
  const QString point = QLocale().decimalPoint();
  if (point.size() == 1 && point[0].unicode() > 32 && point[0].unicode() < 127)
    return static_cast<char>(point[0].unicode());
  return '.';
}

TFrmMain::TFrmMain(Workbench& bench, QWidget* parent) : QWidget(parent), bench_(bench) {
  setObjectName("FrmMain");
  setWindowTitle("Калибровочные коэффициенты");
  setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
  CreateControls();
  FixFormSize(*this, {330, 390});
  FormCreate();
  formDelays_ = new TFormDelays(bench_.GetSettings(), bench_.GetCatalogue().delays, this);
}

// The service window's views give the meter back as they go, which this
// window hears: it goes first, while the buttons are still there. The bench
// outlives the window and must not call it any more.
TFrmMain::~TFrmMain() {
  delete service_;
  bench_.SetOnBusy({});
  bench_.GetSettings().SetOnError({});
}

void TFrmMain::CreateControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 4, 6, 6);
  layout->setSpacing(4);
  layout->addWidget(CreateConnectionGroup());
  layout->addWidget(CreateDeviceGroup());
  layout->addWidget(CreateCalibrationGroup());
  layout->addStretch();

  BDelays = new QToolButton(this);
  BDelays->setObjectName("BDelays");
  BDelays->setAutoRaise(true);
  BDelays->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
  BDelays->setToolTip("Тайм-ауты");
  Button2 = new QPushButton("Закрыть окно", this);
  Button2->setObjectName("Button2");
  BService = new QPushButton("Сервис…", this);
  BService->setObjectName("BService");
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(BDelays);
  bottom->addWidget(BService);
  bottom->addStretch();
  bottom->addWidget(Button2);
  layout->addLayout(bottom);

  connect(BRefresh, &QPushButton::clicked, this, &TFrmMain::BRefreshClick);
  connect(BDelays, &QToolButton::clicked, this, &TFrmMain::BDelaysClick);
  connect(Button2, &QPushButton::clicked, this, &TFrmMain::Button2Click);
  connect(BService, &QPushButton::clicked, this, &TFrmMain::BServiceClick);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &TFrmMain::Button2Click);
  ELicNo->installEventFilter(this);
}

QWidget* TFrmMain::CreateConnectionGroup() {
  auto* group = new QGroupBox(" Соединение ", this);
  group->setObjectName("GroupBox1");
  CBPort = new QComboBox(group);
  CBPort->setObjectName("CBPort");
  for (int n = 1; n <= kPortCount; ++n)
    CBPort->addItem(QString("COM%1").arg(n));
  CBBaud = new QComboBox(group);
  CBBaud->setObjectName("CBBaud");
  CBBaud->addItems({"9600", "19200"});
  UDNetAddr = new QSpinBox(group);
  UDNetAddr->setObjectName("UDNetAddr");
  UDNetAddr->setRange(0, 127);
  UDNetAddr->setValue(0);
  BRefresh = new QPushButton("Прочитать", group);
  BRefresh->setObjectName("BRefresh");

  auto* grid = new QGridLayout(group);
  grid->setContentsMargins(6, 2, 6, 6);
  grid->setVerticalSpacing(1);
  grid->addWidget(new QLabel("Порт", group), 0, 0);
  grid->addWidget(new QLabel("Скорость", group), 0, 1);
  grid->addWidget(new QLabel("Адрес", group), 0, 2);
  grid->addWidget(CBPort, 1, 0);
  grid->addWidget(CBBaud, 1, 1);
  // The search sits beside the address it finds.
  BScan = new QToolButton(group);
  BScan->setObjectName("BScan");
  BScan->setText("…");
  BScan->setToolTip("Поиск приборов");
  connect(BScan, &QToolButton::clicked, this, &TFrmMain::BScanClick);
  auto* addr = new QHBoxLayout;
  addr->setSpacing(2);
  addr->addWidget(UDNetAddr, 1);
  addr->addWidget(BScan);
  grid->addLayout(addr, 1, 2);
  grid->addWidget(BRefresh, 1, 3);
  return group;
}

QLineEdit* TFrmMain::CreateField(const char* name, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(name);
  // Looks like the rest of the form rather than like input: the engineer may
  // type into it, but nothing reads it back.
  QPalette colours = field->palette();
  colours.setColor(QPalette::Base, colours.color(QPalette::Button));
  field->setPalette(colours);
  return field;
}

QWidget* TFrmMain::CreateDeviceGroup() {
  GBDevice = new QGroupBox(" Прибор ", this);
  GBDevice->setObjectName("GBDevice");
  ELicNo = CreateField("ELicNo", GBDevice);
  Ek00 = CreateField("Ek00", GBDevice);
  Ek10 = CreateField("Ek10", GBDevice);
  Ek01 = CreateField("Ek01", GBDevice);
  Ek11 = CreateField("Ek11", GBDevice);
  EVer = CreateField("EVer", GBDevice);
  ECRC = CreateField("ECRC", GBDevice);
  LVer = new QLabel("Версия ПО: ", GBDevice);
  LVer->setObjectName("LVer");
  LCRC = new QLabel("CRC32: ", GBDevice);
  LCRC->setObjectName("LCRC");

  auto* grid = new QGridLayout(GBDevice);
  grid->setContentsMargins(6, 2, 6, 4);
  grid->setVerticalSpacing(2);
  const std::pair<QWidget*, QWidget*> rows[] = {
      {new QLabel("Номер прибора: ", GBDevice), ELicNo},
      {new QLabel("G1 K0: ", GBDevice), Ek00},
      {new QLabel("G1 Ku: ", GBDevice), Ek10},
      {new QLabel("G2 K0: ", GBDevice), Ek01},
      {new QLabel("G2 Ku: ", GBDevice), Ek11},
      {LVer, EVer},
      {LCRC, ECRC},
  };
  int row = 0;
  for (const auto& [label, field] : rows) {
    static_cast<QLabel*>(label)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    ++row;
  }
  // The firmware rows keep their place while hidden, so the form does not
  // jump when a read shows them.
  for (QWidget* w : std::initializer_list<QWidget*>{LVer, EVer, LCRC, ECRC}) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
  }
  SetVersionControlsVisible(false);
  return GBDevice;
}

QWidget* TFrmMain::CreateCalibrationGroup() {
  auto* group = new QGroupBox(" Калибровка ", this);
  group->setObjectName("GroupBox2");
  EClbLic = CreateField("EClbLic", group);
  EClbDate = CreateField("EClbDate", group);
  auto* grid = new QGridLayout(group);
  grid->setContentsMargins(6, 2, 6, 4);
  grid->setVerticalSpacing(2);
  grid->addWidget(new QLabel("Лицензия: ", group), 0, 0, Qt::AlignRight | Qt::AlignVCenter);
  grid->addWidget(EClbLic, 0, 1);
  grid->addWidget(new QLabel("Время, дата:", group), 1, 0, Qt::AlignRight | Qt::AlignVCenter);
  grid->addWidget(EClbDate, 1, 1);
  return group;
}

// The port and speed come back as last chosen; the address always starts at
// 0. A saved port outside COM1..COM32 leaves the list without a selection.
void TFrmMain::FormCreate() {
  Settings& settings = bench_.GetSettings();
  settings.SetOnError([this](const std::string& message) {
    ShowMessage(QMessageBox::Critical, ApplicationTitle(), QString::fromStdString(message));
  });
  bench_.SetOnBusy([this](bool busy) { ShowBusy(busy); });
  const int32_t port = settings.Port();
  CBPort->setCurrentIndex(port >= 1 && port <= kPortCount ? port - 1 : -1);
  const int32_t baud = settings.Baud();
  CBBaud->setCurrentIndex(baud >= 0 && baud < CBBaud->count() ? baud : -1);
  UDNetAddr->setValue(settings.Address());
  ShowPortAdapters(ListSerialDevices());
  bench_.SetPort(SelectedPort());
  // Connected only now, so that showing the saved choices writes nothing.
  connect(CBPort, &QComboBox::currentIndexChanged, this, &TFrmMain::CBPortChange);
  connect(CBBaud, &QComboBox::currentIndexChanged, this, &TFrmMain::CBBaudChange);
  connect(UDNetAddr, &QSpinBox::valueChanged, this, [this](int address) {
    bench_.GetSettings().SetAddress(address);
    bench_.SetPort(SelectedPort());
  });
}

void TFrmMain::SelectPortForRun(int number) {
  const QSignalBlocker block(CBPort);
  CBPort->setCurrentIndex(number >= 1 && number <= kPortCount ? number - 1 : -1);
  bench_.SetPort(SelectedPort());
}

void TFrmMain::SelectDeviceForRun(const std::string& device, const QString& shownName) {
  const QSignalBlocker block(CBPort);
  CBPort->addItem(shownName, QString::fromStdString(device));
  CBPort->setItemData(CBPort->count() - 1, QString::fromStdString(device), Qt::ToolTipRole);
  CBPort->setCurrentIndex(CBPort->count() - 1);
  bench_.SetPort(SelectedPort());
}

// The combo's text goes through the settings' port map ("COM3" may be
// /dev/ttyUSB0); a device of this run is opened as it is, under its shown
// name. Any speed but the first item's is 19200, as the original reads it.
PortSpec TFrmMain::SelectedPort() {
  const unsigned baud = CBBaud->currentIndex() == 0 ? 9600 : 19200;
  const auto address = static_cast<unsigned>(UDNetAddr->value());
  const std::string shown = CBPort->currentText().toStdString();
  const QVariant device = CBPort->currentData(kDeviceRole);
  if (!device.isValid()) return bench_.PortOf(shown, baud, address);
  PortSpec spec = bench_.PortOf(device.toString().toStdString(), baud, address);
  spec.name = shown;
  return spec;
}

// Only the COM ports are the engineer's choice to keep; a device of this run
// is forgotten with it.
void TFrmMain::CBPortChange(int index) {
  if (index < kPortCount) bench_.GetSettings().SetPort(index + 1);
  bench_.SetPort(SelectedPort());
}

void TFrmMain::CBBaudChange(int index) {
  bench_.GetSettings().SetBaud(index);
  bench_.SetPort(SelectedPort());
}

void TFrmMain::BRefreshClick() {
  {
    // The read lets window messages through once at its start; a second
    // press of the button queued by then must not start a read inside the
    // read, nor may a read start while a service view has the meter.
    const Workbench::Operation op(bench_);
    if (!op.Held()) return;
    read_.SetDecimalSeparator(LocaleDecimalSeparator());
    // The time-outs and firmware table as they are now.
    read_.GetCatalogue() = bench_.GetCatalogue();
    // The port map or the echo setting may have changed since the choice.
    bench_.SetPort(SelectedPort());
    MeterReading reading;
    {
      const BusyCursor busy;
      reading = read_.BRefreshClick(*this, bench_.Port());
    }
    bench_.SetLastReading(std::move(reading));
    // The service window acts on the meter of the last read: this one now.
    if (service_) service_->ShowMeter();
    ShowFirmwareSource(bench_.LastReading().firmware.source);
    // With the meter still held: a read that begins a session is followed
    // by its snapshot.
    JournalTheRead();
  }
  if (journalPanel_) journalPanel_->Refresh();
}

// After the read has shown its fields. A journal that cannot be written is
// told in a note that does not wait for a click: the read stands as it is.
void TFrmMain::JournalTheRead() {
  const BusyCursor busy;  // a snapshot may follow the read
  const auto result = bench_.JournalLastRead();
  if (result && !result->ok)
    ShowJournalNote("Чтение не записано в журнал обслуживания:", result->error);
}

// what: the first line, naming the operation that was not journalled.
void TFrmMain::ShowJournalNote(const QString& what, const std::string& error) {
  if (!journalNote_) {
    journalNote_ =
        new QMessageBox(QMessageBox::Warning, ApplicationTitle(), {}, QMessageBox::Ok, this);
    journalNote_->setModal(false);
  }
  journalNote_->setText(what + "\n" + QString::fromStdString(error));
  journalNote_->show();
}

void TFrmMain::ShowFirmwareSource(FirmwareSource source) {
  // The built-in reference data are placeholders: the fields keep their texts
  // but are greyed and say so, so that nobody takes them for the real thing.
  const bool placeholder = source == FirmwareSource::BuiltIn;
  const QString tip = placeholder
                          ? QString("Заглушка: эталонные данные прошивки не заданы (firmware.ini)")
                          : QString();
  const QPalette normal = QApplication::palette(EVer);
  const QColor text =
      normal.color(placeholder ? QPalette::Disabled : QPalette::Active, QPalette::Text);
  for (QLineEdit* e : {EVer, ECRC}) {
    e->setToolTip(tip);
    QPalette palette = e->palette();
    palette.setColor(QPalette::Active, QPalette::Text, text);
    palette.setColor(QPalette::Inactive, QPalette::Text, text);
    e->setPalette(palette);
  }
}

void TFrmMain::ELicNoDblClick() {
  ShowMessage(QMessageBox::NoIcon, ApplicationTitle(), "v1.1 22.07.2016");
}

void TFrmMain::BDelaysClick() {
  if (bench_.Busy()) return;
  formDelays_->exec();
  // The echo setting is part of the line.
  bench_.SetPort(SelectedPort());
}

void TFrmMain::Button2Click() {
  close();
}

QLineEdit* TFrmMain::Field(ReadField field) const {
  switch (field) {
    case ReadField::ELicNo:
      return ELicNo;
    case ReadField::Ek00:
      return Ek00;
    case ReadField::Ek10:
      return Ek10;
    case ReadField::Ek01:
      return Ek01;
    case ReadField::Ek11:
      return Ek11;
    case ReadField::EVer:
      return EVer;
    case ReadField::ECRC:
      return ECRC;
    case ReadField::EClbLic:
      return EClbLic;
    case ReadField::EClbDate:
      return EClbDate;
  }
  return nullptr;
}

void TFrmMain::SetFieldText(ReadField field, const std::string& text) {
  if (QLineEdit* edit = Field(field)) {
    edit->setText(QString::fromStdString(text));
    edit->setCursorPosition(0);
  }
}

void TFrmMain::ShowError(const std::string& message, const std::string& detail) {
  ShowMessage(QMessageBox::Critical, "Ошибка", QString::fromStdString(message),
              QString::fromStdString(detail));
}

void TFrmMain::ShowPortAdapters(const std::vector<SerialDeviceInfo>& devices) {
  for (int n = 1; n <= kPortCount; ++n) {
    const std::string name =
        ResolvePortDevice("COM" + std::to_string(n), bench_.GetSettings().Ini());
    std::string tip = name;
    for (const SerialDeviceInfo& d : devices)
      if ((d.name == name || d.stableLink == name) && !d.description.empty())
        tip += "\n" + d.description;
    CBPort->setItemData(n - 1, QString::fromStdString(tip), Qt::ToolTipRole);
  }
}

void TFrmMain::SetVersionControlsVisible(bool visible) {
  for (QWidget* w : std::initializer_list<QWidget*>{LVer, EVer, LCRC, ECRC})
    w->setVisible(visible);
}

void TFrmMain::SetDeviceCaption(const std::string& caption) {
  GBDevice->setTitle(QString::fromStdString(caption));
}

void TFrmMain::SetRefreshEnabled(bool enabled) {
  BRefresh->setEnabled(enabled);
}

void TFrmMain::ProcessMessages() {
  QCoreApplication::processEvents();
}

void TFrmMain::ShowMessage(QMessageBox::Icon icon, const QString& caption, const QString& text,
                           const QString& detail) {
  const CursorPause arrow;
  lastDetail_ = detail;
  if (messageBox_) {
    messageBox_(icon, caption, text);
    return;
  }
  QMessageBox box(icon, caption, text, QMessageBox::Ok, this);
  // The message keeps its words; the reason and what to check go below it.
  box.setInformativeText(detail);
  box.exec();
}

bool TFrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ELicNo && event->type() == QEvent::MouseButtonDblClick) ELicNoDblClick();
  return QWidget::eventFilter(watched, event);
}

void TFrmMain::showEvent(QShowEvent* event) {
  if (!centred_) {
    CentreOnScreen();
    centred_ = true;
  }
  QWidget::showEvent(event);
}

void TFrmMain::CentreOnScreen() {
  if (const QScreen* display = screen()) {
    QRect area = frameGeometry();
    area.moveCenter(display->availableGeometry().center());
    move(area.topLeft());
  }
}

void TFrmMain::BScanClick() {
  if (bench_.Busy()) return;
  std::optional<FoundMeter> chosen;
  {
    // The search talks to the line: no read or service view meanwhile.
    const Workbench::Operation op(bench_);
    if (!op.Held()) return;
    ScanRequest request;
    request.port = SelectedPort();
    request.timeouts = bench_.GetSettings().LoadScanTimeouts();
    TScanDialog dialog(request, bench_.GetCatalogue().verTable, this);
    dialog.OnRecord = [this](const MeterSnapshot& s) { return bench_.RouteVisitOf(s); };
    if (dialog.exec() == QDialog::Accepted) chosen = dialog.Chosen();
  }
  if (chosen) ApplyScanChoice(*chosen);
}

void TFrmMain::ApplyScanChoice(const FoundMeter& meter) {
  CBBaud->setCurrentIndex(meter.baud == 9600 ? 0 : 1);
  UDNetAddr->setValue(meter.address);
}

void TFrmMain::BServiceClick() {
  // The read lets window messages through: the service window must not open
  // on a meter that is being read.
  if (bench_.Busy()) return;
  if (!service_) {
    service_ = new TFrmService(bench_, this);
    connect(service_, &TFrmService::Written, this, &TFrmMain::ServiceWritten);
    connect(service_, &TFrmService::Journalled, this, [this] { journalPanel_->Refresh(); });
    const std::filesystem::path dir = std::filesystem::path(bench_.SettingsPath()).parent_path();
    service_->SetImageDir(
        QString::fromStdString((dir.empty() ? std::string(".") : dir.string()) + "/before-images"));
    service_->AddView(new TLivePanel(bench_), "Текущие значения");
    journalPanel_ = new JournalPanel(bench_);
    service_->AddView(journalPanel_, "Журнал");
  }
  service_->ShowMeter();
  journalPanel_->Refresh();
  service_->show();
  service_->raise();
  service_->activateWindow();
}

void TFrmMain::ShowBusy(bool busy) {
  BRefresh->setEnabled(!busy);
  BScan->setEnabled(!busy);
  BService->setEnabled(!busy);
}

// Every write the service window ran goes into the journal, as reads do; a
// journal that cannot be written is told and the write's result stands.
void TFrmMain::ServiceWritten(WriteKind kind, const WriteOutcome& outcome) {
  const auto result = bench_.JournalWrite(kind, outcome);
  if (result && !result->ok)
    ShowJournalNote("Запись в прибор не внесена в журнал обслуживания:", result->error);
  if (journalPanel_) journalPanel_->Refresh();
}
