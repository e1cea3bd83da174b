// calibrate: the desktop window.
//
//   calibrate [--ini FILE] [--demo MODEL] [--inspector]
//
// --ini FILE    settings file instead of the usual Calibrate.ini (see
//               SettingsPlace.h)
// --demo MODEL  puts a virtual meter of that model (one of DemoModelNames)
//               at address 0 in the port list for this run, so the window can
//               be tried without a meter; "bus" puts several meters on that
//               line and the window's address picks one
// --inspector   inspector mode (InspectorMode.h): the service window reads
//               and files snapshots, and nothing writes to a meter
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <filesystem>

#include "app/core/base/Version.h"
#include "app/core/settings/DevManager.h"
#include "app/core/settings/InspectorMode.h"
#include "app/core/settings/Settings.h"
#include "app/core/settings/SettingsPlace.h"
#include "app/gui/QtTranslations.h"
#include "app/gui/read/DelaysForm.h"
#include "app/gui/read/MainForm.h"
#include "app/gui/service/BenchPanel.h"
#include "app/gui/service/ServiceWindow.h"
#include "app/journal/ReadJournal.h"
#include "app/journal/Workbench.h"
#include "sim/DemoMode.h"

namespace {

// What the port list calls the virtual meter of a demo run.
constexpr const char* kDemoPortName = "демо";

bool SavePicture(QWidget& widget, const QString& path) {
  QCoreApplication::processEvents();
  const bool saved = widget.grab().save(path);
  if (!saved)
    std::fprintf(stderr, "calibrate: не удалось сохранить %s\n", path.toUtf8().constData());
  return saved;
}

// The bench view's picture: three points of three runs on channel 1 against
// R 49 class 2 (Q1 0.1, Q2 0.16), U = 0.5 %. At 0.12 m³/h +2.1 % within ±5 %;
// at 1 m³/h +0.62 % within 2 - 0.5 %; at 2.5 m³/h +2.4 % fails.
constexpr const char* kDemoRuns =
    "канал;расход;эталон;показание;время;U\n"
    "1;0,12;10;10,210;300;0,5\n1;0,12;10;10,212;300;0,5\n1;0,12;10;10,208;300;0,5\n"
    "1;1;50;50,30;180;0,5\n1;1;50;50,31;180;0,5\n1;1;50;50,32;180;0,5\n"
    "1;2,5;100;102,40;120;0,5\n1;2,5;100;102,42;120;0,5\n1;2,5;100;102,38;120;0,5\n";

bool SaveBenchPicture(TFrmService& service, const QString& path) {
  TBenchPanel& view = *service.BenchView;
  service.Tabs->setCurrentWidget(&view);
  QCoreApplication::processEvents();  // the view laid out before the chart is drawn
  view.CBProfile->setCurrentIndex(view.CBProfile->findData("r49-2"));
  view.EQ1->setText("0,1");
  view.EQ2->setText("0,16");
  view.ERuns->setPlainText(kDemoRuns);
  view.ProposeClick();
  return SavePicture(service, path);
}

// Reads once, saves the window's picture to path (and, when dialogPath is
// given, the time-outs dialog's; when servicePath is, the service window's
// with the meter's coefficients loaded; when benchPath is, its bench view
// with runs of a bench filled in) and quits: how the pictures in the
// documentation are made. Boxes go to stderr so nothing waits for a click.
// Exit status 0 only when the read went through and the files were saved.
void ScheduleScreenshot(TFrmMain& window, const QString& path, const QString& dialogPath,
                        const QString& servicePath, const QString& benchPath) {
  window.SetMessageBox([](QMessageBox::Icon, const QString& caption, const QString& text) {
    std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
  });
  QTimer::singleShot(200, &window, [&window, path, dialogPath, servicePath, benchPath] {
    window.BRefreshClick();
    bool saved = SavePicture(window, path);
    if (!dialogPath.isEmpty()) {
      window.FormDelays().show();
      saved = SavePicture(window.FormDelays(), dialogPath) && saved;
      window.FormDelays().reject();
    }
    if (!servicePath.isEmpty()) {
      window.BServiceClick();
      window.ServiceWindow()->LoadClick();
      saved = SavePicture(*window.ServiceWindow(), servicePath) && saved;
    }
    if (!benchPath.isEmpty()) {
      window.BServiceClick();
      saved = SaveBenchPicture(*window.ServiceWindow(), benchPath) && saved;
    }
    const bool read = window.LastReading().result == ReadResult::Ok;
    QCoreApplication::exit(saved && read ? 0 : 1);
  });
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Calibrate");
  QApplication::setApplicationVersion(kCalibrateVersion);
  InstallQtTranslations(app);

  QCommandLineParser parser;
  parser.setApplicationDescription("Читает калибровочные данные расходомера.");
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption iniOption("ini", "Файл настроек вместо Calibrate.ini.", "ФАЙЛ");
  const QCommandLineOption demoOption(
      "demo", QString::fromStdString("Читать виртуальный прибор: " + DemoModelList() + "."),
      "МОДЕЛЬ");
  const QCommandLineOption inspectorOption(
      "inspector", "Режим проверки: ничего не записывать в прибор (как [Service] Writes=0).");
  QCommandLineOption screenshotOption("screenshot", "Прочитать, сохранить снимок окна и выйти.",
                                      "ФАЙЛ");
  screenshotOption.setFlags(QCommandLineOption::HiddenFromHelp);
  QCommandLineOption dialogShotOption("screenshot-delays", "Сохранить и снимок окна задержек.",
                                      "ФАЙЛ");
  dialogShotOption.setFlags(QCommandLineOption::HiddenFromHelp);
  QCommandLineOption serviceShotOption("screenshot-service", "Сохранить и снимок сервисного окна.",
                                       "ФАЙЛ");
  serviceShotOption.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(iniOption);
  parser.addOption(demoOption);
  parser.addOption(inspectorOption);
  parser.addOption(screenshotOption);
  parser.addOption(dialogShotOption);
  parser.addOption(serviceShotOption);
  QCommandLineOption benchShotOption("screenshot-bench", "Сохранить и снимок вкладки «Поверка».",
                                     "ФАЙЛ");
  benchShotOption.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(benchShotOption);
  parser.process(app);
  if (!parser.positionalArguments().isEmpty()) {
    std::fprintf(stderr, "calibrate: лишний аргумент %s\n",
                 parser.positionalArguments().first().toUtf8().constData());
    return 2;
  }

  const std::string iniPath =
      parser.isSet(iniOption) ? parser.value(iniOption).toStdString() : Settings::DefaultPath();
  // A FIFO or a device in the settings file's place would hang or flood
  // every read of it: such a file is refused before a window opens.
  if (const std::string why = IniFile(iniPath).Unusable(); !why.empty()) {
    std::fprintf(stderr, "calibrate: файл настроек %s: %s\n", iniPath.c_str(), why.c_str());
    return 2;
  }
  // The windows share it; it outlives them (declared first, gone last), and
  // so does the virtual meter they may have open.
  Workbench bench(iniPath, JournalProgram("calibrate"));
  bench.GetCatalogue().verTable = LoadVerTable(FirmwareIniPath());
  // Before any window: from here on no write of this process goes out.
  HoldInspectorMode(FindInspectorMode(parser.isSet(inspectorOption), bench.GetSettings()));

  std::unique_ptr<DemoMeter> demo;
  if (parser.isSet(demoOption)) {
    std::string error;
    const unsigned baud = bench.GetSettings().Baud() == 0 ? 9600 : 19200;
    demo = StartDemoMeter(parser.value(demoOption).toStdString(), 0, baud, error);
    if (!demo) {
      std::fprintf(stderr, "calibrate: виртуальный прибор не запускается: %s\n", error.c_str());
      return 2;
    }
    bench.SetDemo(true);
  }

  TFrmMain window(bench);
  // For this run only: the engineer's saved port stays as it was.
  if (demo) window.SelectDeviceForRun(demo->Device(), kDemoPortName);

  window.show();
  if (parser.isSet(screenshotOption))
    ScheduleScreenshot(window, parser.value(screenshotOption), parser.value(dialogShotOption),
                       parser.value(serviceShotOption), parser.value(benchShotOption));
  return QApplication::exec();
}
