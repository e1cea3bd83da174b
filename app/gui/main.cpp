// calibrate: the desktop window.
//
//   calibrate [--ini FILE] [--demo MODEL]
//
// --ini FILE   settings file instead of Calibrate.ini beside the program
// --demo MODEL binds COM1 to a virtual meter of that model for this run
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>
#include <filesystem>

#include "MainForm.h"
#include "app/core/DevManager.h"
#include "app/core/IniFile.h"
#include "app/core/PortMap.h"
#include "app/core/ProgramDir.h"
#include "app/core/Settings.h"

namespace {

// Reads once, saves the window's picture to path and quits: how the picture
// in the documentation is made. Boxes go to stderr so nothing waits for a
// click.
void ScheduleScreenshot(TFrmMain& window, const QString& path) {
  window.SetMessageBox([](QMessageBox::Icon, const QString& caption, const QString& text) {
    std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
  });
  QTimer::singleShot(200, &window, [&window, path] {
    window.BRefreshClick();
    QCoreApplication::processEvents();
    const bool saved = window.grab().save(path);
    if (!saved) std::fprintf(stderr, "cannot save %s\n", path.toUtf8().constData());
    QCoreApplication::exit(saved ? 0 : 1);
  });
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Calibrate");
  QApplication::setApplicationVersion("1.1");

  QCommandLineParser parser;
  parser.setApplicationDescription("Reads the calibration data of a flow meter.");
  parser.addHelpOption();
  const QCommandLineOption iniOption("ini", "Settings file instead of Calibrate.ini.", "FILE");
  QCommandLineOption screenshotOption("screenshot", "Read once, save the window, quit.", "FILE");
  screenshotOption.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(iniOption);
  parser.addOption(screenshotOption);
  parser.process(app);

  const std::string iniPath =
      parser.isSet(iniOption) ? parser.value(iniOption).toStdString() : Settings::DefaultPath();
  LoadPortMap(IniFile(iniPath));

  TFrmMain window(iniPath);
  window.Reader().VerTable =
      LoadVerTable((std::filesystem::path(ProgramDirectory()) / "firmware.ini").string());

  window.show();
  if (parser.isSet(screenshotOption)) ScheduleScreenshot(window, parser.value(screenshotOption));
  return QApplication::exec();
}
