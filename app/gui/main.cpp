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
#include <QCommandLineParser>
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

// Reads once, saves the window's picture to path (and, when dialogPath is
// given, the time-outs dialog's; when servicePath is, the service window's
// with the meter's coefficients loaded) and quits: how the pictures in the
// documentation are made. Boxes go to stderr so nothing waits for a click.
// Exit status 0 only when the read went through and the files were saved.
void ScheduleScreenshot(TFrmMain& window, const QString& path, const QString& dialogPath,
                        const QString& servicePath) {
  window.SetMessageBox([](QMessageBox::Icon, const QString& caption, const QString& text) {
    std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
  });
  QTimer::singleShot(200, &window, [&window, path, dialogPath, servicePath] {
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
                       parser.value(serviceShotOption));
  return QApplication::exec();
}
