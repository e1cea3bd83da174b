#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "GuiTestUtil.h"
#include "app/core/line/PortMap.h"
#include "app/gui/read/DelaysForm.h"
#include "app/gui/service/ServiceWindow.h"
#include "comm/serial/SerialDevice.h"
#include "support/ScriptedLine.h"

namespace {

constexpr const char* kNoData = "Нет данных или не поддерживается";

// Fills every result field with a marker so a test can tell what a read wrote.
void MarkFields(TFrmMain& window) {
  for (size_t i = 0; i < kReadFieldCount; ++i) {
    const auto field = static_cast<ReadField>(i);
    window.Field(field)->setText(QString("old %1").arg(i));
  }
}

bool VersionControlsVisible(TFrmMain& window) {
  return !window.LVer->isHidden() && !window.EVer->isHidden() && !window.LCRC->isHidden() &&
         !window.ECRC->isHidden();
}

bool VersionControlsHidden(TFrmMain& window) {
  return window.LVer->isHidden() && window.EVer->isHidden() && window.LCRC->isHidden() &&
         window.ECRC->isHidden();
}

TEST_F(WindowTest, ShowsItsControlsAsTheEngineerKnowsThem) {
  auto window = MakeWindow(ini.Path());
  EXPECT_EQ(window->windowTitle().toStdString(), "Калибровочные коэффициенты");
  // Drawn at 330 x 390 for a smaller font than any of Qt's: it only grows.
  EXPECT_GE(window->width(), 330);
  EXPECT_GE(window->height(), 390);
  EXPECT_EQ(window->minimumSize(), window->maximumSize());

  ASSERT_EQ(window->CBPort->count(), 32);
  EXPECT_EQ(window->CBPort->itemText(0).toStdString(), "COM1");
  EXPECT_EQ(window->CBPort->itemText(31).toStdString(), "COM32");
  ASSERT_EQ(window->CBBaud->count(), 2);
  EXPECT_EQ(window->CBBaud->itemText(0).toStdString(), "9600");
  EXPECT_EQ(window->CBBaud->itemText(1).toStdString(), "19200");
  EXPECT_EQ(window->UDNetAddr->minimum(), 0);
  EXPECT_EQ(window->UDNetAddr->maximum(), 127);
  EXPECT_EQ(window->UDNetAddr->value(), 0);
  EXPECT_EQ(window->BRefresh->text().toStdString(), "Прочитать");
  EXPECT_EQ(window->Button2->text().toStdString(), "Закрыть окно");
  EXPECT_TRUE(window->BDelays->text().isEmpty());
  EXPECT_FALSE(window->BDelays->icon().isNull());
  EXPECT_EQ(window->BDelays->toolTip().toStdString(), "Тайм-ауты");

  std::vector<std::string> groups;
  for (auto* g : window->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly))
    groups.push_back(g->title().toStdString());
  EXPECT_EQ(groups, (std::vector<std::string>{" Соединение ", " Прибор ", " Калибровка "}));
  std::vector<std::string> labels;
  for (auto* l : window->findChildren<QLabel*>())
    labels.push_back(l->text().toStdString());
  for (const char* expected :
       {"Порт", "Скорость", "Адрес", "Номер прибора: ", "G1 K0: ", "G1 Ku: ", "G2 K0: ", "G2 Ku: ",
        "Версия ПО: ", "CRC32: ", "Лицензия: ", "Время, дата:"})
    EXPECT_NE(std::find(labels.begin(), labels.end(), expected), labels.end()) << expected;

  // Result fields take typing but look like the form, not like input.
  for (size_t i = 0; i < kReadFieldCount; ++i) {
    QLineEdit* field = window->Field(static_cast<ReadField>(i));
    EXPECT_FALSE(field->isReadOnly());
    EXPECT_EQ(field->palette().color(QPalette::Base), field->palette().color(QPalette::Button));
  }
  EXPECT_TRUE(VersionControlsHidden(*window));
}

TEST_F(WindowTest, StartsOnTheSavedPortAndSpeedWithoutWritingTheFile) {
  struct Case {
    const char* file;
    int portIndex;
    int baudIndex;
  };
  const Case cases[] = {
      {"", 0, 0},
      {"[Sealmark]\nPort=3\nBaud=1\n", 2, 1},
      {"[Sealmark]\nPort=32\nBaud=0\n", 31, 0},
      {"[Sealmark]\nPort=0\n", -1, 0},
      {"[Sealmark]\nPort=33\nBaud=7\n", -1, -1},
      {"[Sealmark]\nPort=$A\n", 9, 0},
  };
  for (const Case& c : cases) {
    ScratchIni file;
    if (*c.file) file.Write(c.file);
    auto window = MakeWindow(file.Path());
    EXPECT_EQ(window->CBPort->currentIndex(), c.portIndex) << c.file;
    EXPECT_EQ(window->CBBaud->currentIndex(), c.baudIndex) << c.file;
    EXPECT_EQ(file.Exists(), *c.file != '\0') << "nothing is written at start";
    if (*c.file) {
      EXPECT_EQ(file.Read(), c.file);
    }
  }
  EXPECT_TRUE(boxes.empty());
}

// The connection group becomes one PortSpec here, in the window, and nowhere
// below it: COMn through the settings' [Ports], any speed item but the first
// (and no selection) 19200, the address as set.
TEST_F(WindowTest, TheSelectionBecomesThePortSpecOfTheNextRead) {
  ini.Write("[Ports]\nCOM3=/dev/ttyUSB7\n");
  auto window = MakeWindow(ini.Path());
  struct Case {
    int port;
    int baud;
    int address;
    std::string device;
    unsigned speed;
  };
  const Case cases[] = {
      {2, 0, 0, kPortMapInUse ? "/dev/ttyUSB7" : lum::DefaultSerialPortName(3), 9600},
      {6, 1, 127, lum::DefaultSerialPortName(7), 19200},
      {0, -1, 5, lum::DefaultSerialPortName(1), 19200},
  };
  for (const Case& c : cases) {
    window->CBPort->setCurrentIndex(c.port);
    window->CBBaud->setCurrentIndex(c.baud);
    window->UDNetAddr->setValue(c.address);
    const PortSpec& spec = window->Bench().Port();
    EXPECT_EQ(spec.device, c.device) << c.port;
    EXPECT_EQ(spec.name, "COM" + std::to_string(c.port + 1));
    EXPECT_EQ(spec.baud, c.speed) << c.baud;
    EXPECT_EQ(spec.address, c.address);
  }
}

TEST_F(WindowTest, SavesPortAndSpeedAtOnce) {
  auto window = MakeWindow(ini.Path());
  window->CBPort->setCurrentIndex(6);
  {
    Settings reread(ini.Path());
    EXPECT_EQ(reread.Port(), 7);
  }
  window->CBBaud->setCurrentIndex(1);
  {
    Settings reread(ini.Path());
    EXPECT_EQ(reread.Port(), 7);
    EXPECT_EQ(reread.Baud(), 1);
  }
  // A new window, as at the next start, comes back to both.
  auto next = MakeWindow(ini.Path());
  EXPECT_EQ(next->CBPort->currentIndex(), 6);
  EXPECT_EQ(next->CBBaud->currentIndex(), 1);
  EXPECT_EQ(next->UDNetAddr->value(), 0) << "the address is never saved";
}

// The demo's meter is a device of this run: chosen in the list, read under
// its own name, and never saved as the engineer's port.
TEST_F(WindowTest, DeviceForTheRunIsChosenButNeverSaved) {
  ini.Write("[Sealmark]\nPort=3\nBaud=1\n");
  auto window = MakeWindow(ini.Path());
  window->SelectDeviceForRun("test:demo-meter", "демо");
  EXPECT_EQ(window->CBPort->currentText().toStdString(), "демо");
  EXPECT_EQ(window->CBPort->count(), 33);
  struct Step {
    int choose;  // a CBPort item, or -1 to leave the list as it is
    std::string device;
    const char* name;
    int saved;  // [Sealmark] Port afterwards
  };
  const Step steps[] = {
      {-1, "test:demo-meter", "демо", 3},
      {4, lum::DefaultSerialPortName(5), "COM5", 5},
      {32, "test:demo-meter", "демо", 5},
  };
  for (const Step& s : steps) {
    if (s.choose >= 0) window->CBPort->setCurrentIndex(s.choose);
    EXPECT_EQ(window->Bench().Port().device, s.device) << s.choose;
    EXPECT_EQ(window->Bench().Port().name, s.name) << s.choose;
    EXPECT_EQ(window->Bench().Port().baud, 19200u) << s.choose;
    EXPECT_EQ(Settings(ini.Path()).Port(), s.saved) << s.choose;
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowTest, SettingsFileThatCannotBeWrittenIsReportedAndTheWindowGoesOn) {
  const std::string path = ini.Path() + ".missing-dir/Calibrate.ini";
  auto window = MakeWindow(path);
  window->CBPort->setCurrentIndex(4);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(boxes[0].text.rfind("Unable to write to ", 0), 0u) << boxes[0].text;
  EXPECT_NE(boxes[0].text.find(".missing-dir/Calibrate.ini"), std::string::npos);
  EXPECT_EQ(window->CBPort->currentIndex(), 4);
  window->CBBaud->setCurrentIndex(1);
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(window->BRefresh->isEnabled());
}

TEST_F(WindowTest, PortThatWillNotOpenShowsItsBoxAndChangesNoField) {
  struct Case {
    int selectPort;  // 0: none selected
    const char* message;
  };
  const Case cases[] = {
      {23, "Не удалось открыть порт COM23"},
      {0, "Не удалось открыть порт "},
  };
  ini.Write(PortMap(23, "/nonexistent/calibrate-test-tty"));
  for (const Case& c : cases) {
    boxes.clear();
    auto window = MakeWindow(ini.Path());
    window->SelectPortForRun(c.selectPort);
    MarkFields(*window);
    window->SetVersionControlsVisible(true);
    window->BRefreshClick();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Ошибка");
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes[0].text, c.message);
    for (size_t i = 0; i < kReadFieldCount; ++i)
      EXPECT_EQ(window->Field(static_cast<ReadField>(i))->text(), QString("old %1").arg(i));
    EXPECT_TRUE(VersionControlsHidden(*window));
    EXPECT_TRUE(window->BRefresh->isEnabled());
    EXPECT_EQ(window->GBDevice->title().toStdString(), " Прибор ");
  }
}

// A line on which nothing answers, neither over 3x nor over ModBus; on
// virtual time, so the time-outs and retries cost nothing.
class SilentLineTest : public WindowTest {
 protected:
  static constexpr uint8_t kPort = 24;
  ScopedVirtualTime time;
  std::shared_ptr<ScriptedLine> line = ScriptedLine::Create(time.clock);
  ScopedDevice device{"test:silent-line", line->Factory()};
  void SetUp() override {
    WindowTest::SetUp();
    ini.Write(PortMap(kPort, device.Name()));
  }
};

TEST_F(SilentLineTest, MeterNotFoundShowsItsBoxAndKeepsTheReadFields) {
  auto window = MakeWindow(ini.Path());
  window->SelectPortForRun(kPort);
  MarkFields(*window);
  window->BRefreshClick();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Ошибка");
  EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(boxes[0].text, "Прибор не найден ");
  EXPECT_EQ(line->Opens(), 1);
  EXPECT_FALSE(line->Written().empty()) << "the meter was asked";
  for (ReadField f :
       {ReadField::ELicNo, ReadField::Ek00, ReadField::Ek10, ReadField::Ek01, ReadField::Ek11})
    EXPECT_EQ(window->Field(f)->text(), QString("old %1").arg(static_cast<int>(f)));
  EXPECT_EQ(FieldText(*window, ReadField::EClbLic), kNoData);
  EXPECT_EQ(FieldText(*window, ReadField::EClbDate), kNoData);
  EXPECT_EQ(window->GBDevice->title().toStdString(), " Прибор ");
  EXPECT_TRUE(VersionControlsHidden(*window));
  EXPECT_TRUE(window->BRefresh->isEnabled());
}

// Each button's handler, called by the one message pass at the start of the
// read (as a press queued by then would be, whether or not the button looks
// disabled): none starts a second read, a search or the service window.
TEST_F(SilentLineTest, PressDuringTheReadsMessagePassDoesNothing) {
  const std::pair<const char*, void (TFrmMain::*)()> presses[] = {
      {"BRefresh", &TFrmMain::BRefreshClick},
      {"BScan", &TFrmMain::BScanClick},
      {"BService", &TFrmMain::BServiceClick},
  };
  for (const auto& [name, press] : presses) {
    auto window = MakeWindow(ini.Path());
    window->SelectPortForRun(kPort);
    const int opensBefore = line->Opens();
    int dialogs = 0;
    QTimer poll;  // a dialog that opened anyway is counted and closed
    QObject::connect(&poll, &QTimer::timeout, [&dialogs] {
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        ++dialogs;
        dialog->reject();
      }
    });
    poll.start(5);
    QTimer::singleShot(0, window.get(), [w = window.get(), p = press] { (w->*p)(); });
    window->BRefreshClick();
    QCoreApplication::processEvents();
    poll.stop();
    EXPECT_EQ(line->Opens() - opensBefore, 1) << name;
    EXPECT_EQ(dialogs, 0) << name;
    EXPECT_EQ(window->findChild<TFrmService*>(), nullptr) << name << ": no service window";
    EXPECT_TRUE(window->findChild<QAbstractButton*>(name)->isEnabled()) << name;
  }
  EXPECT_EQ(boxes.size(), 3u);
}

// The address of the last read comes back with the window, from its own key.
TEST_F(WindowTest, TheAddressIsKeptAcrossRuns) {
  {
    auto window = MakeWindow(ini.Path());
    window->UDNetAddr->setValue(17);
  }
  EXPECT_NE(ini.Read().find("Address=17"), std::string::npos) << ini.Read();
  auto again = MakeWindow(ini.Path());
  EXPECT_EQ(again->UDNetAddr->value(), 17);
}

// Records what the screen showed at the read's message pass.
class ObservedWindow : public TFrmMain {
 public:
  using TFrmMain::TFrmMain;
  void ProcessMessages() override {
    const QCursor* cursor = QApplication::overrideCursor();
    cursorAtPass = cursor ? cursor->shape() : Qt::ArrowCursor;
    versionHiddenAtPass = LVer->isHidden() && EVer->isHidden();
    ++passes;
    TFrmMain::ProcessMessages();
  }
  Qt::CursorShape cursorAtPass = Qt::ArrowCursor;
  bool versionHiddenAtPass = false;
  int passes = 0;
};

TEST_F(SilentLineTest, ReadShowsTheBusyCursorButNotOverItsBox) {
  ObservedWindow window(MakeBench(ini.Path()));
  std::vector<bool> busyAtBox;
  window.SetMessageBox([&](QMessageBox::Icon, const QString&, const QString&) {
    busyAtBox.push_back(QApplication::overrideCursor() != nullptr);
  });
  window.SelectPortForRun(kPort);
  window.SetVersionControlsVisible(true);
  window.BRefreshClick();
  EXPECT_EQ(window.passes, 1);
  EXPECT_EQ(window.cursorAtPass, Qt::WaitCursor);
  EXPECT_TRUE(window.versionHiddenAtPass);
  EXPECT_EQ(busyAtBox, std::vector<bool>{false});
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the cursor is back after the read";
}

// The real box, as the engineer gets it, closed from the test.
TEST_F(WindowTest, ErrorBoxIsCaptionedAndClosable) {
  ini.Write(PortMap(25, "/nonexistent/calibrate-test-tty"));
  auto window = std::make_unique<TFrmMain>(MakeBench(ini.Path()));
  window->SelectPortForRun(25);
  window->show();
  ShownBox seen{QMessageBox::NoIcon, "", ""};
  bool closed = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      seen = {box->icon(), box->windowTitle().toStdString(), box->text().toStdString()};
      box->button(QMessageBox::Ok)->click();
      closed = true;
    }
  });
  poll.start(5);
  window->BRefreshClick();
  poll.stop();
  EXPECT_TRUE(closed);
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.caption, "Ошибка");
  EXPECT_EQ(seen.text, "Не удалось открыть порт COM25");
  EXPECT_TRUE(window->BRefresh->isEnabled());
}

TEST_F(WindowTest, DoubleClickOnTheSerialNumberShowsTheVersion) {
  auto window = MakeWindow(ini.Path());
  window->show();
  QTest::mouseDClick(window->ELicNo, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "v1.1 22.07.2016");
  EXPECT_EQ(boxes[0].icon, QMessageBox::NoIcon);
}

TEST_F(WindowTest, EscapeAndTheCloseButtonCloseTheWindow) {
  auto byEscape = MakeWindow(ini.Path());
  byEscape->show();
  byEscape->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(byEscape.get()));
  QTest::keyClick(byEscape.get(), Qt::Key_Escape);
  EXPECT_FALSE(byEscape->isVisible());

  auto byButton = MakeWindow(ini.Path());
  byButton->show();
  QTest::mouseClick(byButton->Button2, Qt::LeftButton);
  EXPECT_FALSE(byButton->isVisible());
  EXPECT_FALSE(ini.Exists()) << "closing writes nothing";
}

TEST_F(WindowTest, DelaysButtonOpensTheDialogCentredOnTheWindow) {
  auto window = MakeWindow(ini.Path());
  window->show();
  QRect dialogArea, windowArea;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<TFormDelays*>(QApplication::activeModalWidget());
    if (!dialog) return;
    dialogArea = dialog->frameGeometry();
    windowArea = window->frameGeometry();
    dialog->reject();
  });
  QTest::mouseClick(window->BDelays, Qt::LeftButton);
  ASSERT_TRUE(dialogArea.isValid()) << "the dialog was shown modally";
  EXPECT_LE((dialogArea.center() - windowArea.center()).manhattanLength(), 2);
}

TEST_F(WindowTest, DecimalSeparatorFollowsTheLocale) {
  const QLocale saved;
  for (auto [language, separator] :
       {std::pair{QLocale::Russian, ','}, std::pair{QLocale::English, '.'},
        std::pair{QLocale::German, ','}}) {
    QLocale::setDefault(QLocale(language));
    EXPECT_EQ(LocaleDecimalSeparator(), separator)
        << QLocale::languageToString(language).toStdString();
  }
  QLocale::setDefault(saved);
}

}  // namespace
