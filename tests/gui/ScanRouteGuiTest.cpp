// The scan dialog's own choices on the demo bus: the addresses, speeds and
// protocols ticked are the ones scanned; its table goes to CSV; a double
// click picks a row; "Обойти все" visits every meter into the folder, and
// "Стоп" ends the route.
#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "GuiTestUtil.h"
#include "app/gui/read/ScanDialog.h"
#include "app/journal/JournalReader.h"
#include "app/journal/Workbench.h"
#include "sim/DemoMode.h"

namespace {

std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(ScanRouteGui, ControlsChooseWhatIsScannedAndTheRouteVisitsEveryMeter) {
  TestApp();
  std::string error;
  auto demo = StartDemoMeter("bus", 0, 9600, error);
  ASSERT_TRUE(demo) << error;
  ScanRequest request;
  request.port.device = demo->Device();
  request.port.name = "COM7";
  request.timeouts.packetMs = 100;
  TScanDialog dialog(request, BuiltInVerTable());
  dialog.show();
  EXPECT_EQ(dialog.STo->value(), 127);
  EXPECT_TRUE(dialog.C19200->isChecked());
  dialog.STo->setValue(18);
  dialog.C19200->setChecked(false);
  dialog.CModBus->setChecked(false);
  dialog.BStart->click();
  ASSERT_EQ(dialog.Outcome().result, ScanResult::Done);
  // The ModBus meter at 5 is not asked, nor a second speed.
  ASSERT_EQ(dialog.Table->rowCount(), 2);
  EXPECT_EQ(dialog.Table->item(1, 0)->text(), "17");

  const auto dir =
      std::filesystem::temp_directory_path() / ("scan-route-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  ASSERT_TRUE(dialog.ExportCsv(QString::fromStdString((dir / "scan.csv").string())));
  const std::string csv = FileText(dir / "scan.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3) << csv;
  EXPECT_NE(csv.find("17,9600,3x,"), std::string::npos) << csv;

  dialog.Table->selectRow(1);
  emit dialog.Table->cellDoubleClicked(1, 0);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Chosen()->address, 17);

  dialog.show();
  dialog.CModBus->setChecked(true);
  dialog.RouteDir = QString::fromStdString((dir / "route").string());
  // The window's route files each snapshot in the journal, as the window does.
  std::ofstream((dir / "Calibrate.ini").string())
      << "[Journal]\nEnabled=1\nDir=" << (dir / "journal").string() << "\n";
  Workbench bench((dir / "Calibrate.ini").string(), "calibrate 1.1");
  dialog.OnRecord = [&](const MeterSnapshot& s) { return bench.RouteVisitOf(s); };
  dialog.BRoute->click();
  EXPECT_EQ(dialog.RouteDone().result, RouteResult::Done);
  ASSERT_EQ(dialog.RouteDone().rows.size(), 3u);
  for (const RouteRow& row : dialog.RouteDone().rows) {
    EXPECT_EQ(row[13], "прочитано") << row[0];
    EXPECT_TRUE(row[14].ends_with(".html")) << row[14];
    EXPECT_TRUE(std::filesystem::exists(dir / "route" / row[14])) << row[14];
  }
  EXPECT_EQ(ListJournalMeters((dir / "journal").string()).meters.size(), 3u);
  EXPECT_TRUE(std::filesystem::exists(dir / "route" / kRouteCsv));
  // CALIBRATE_SHOT_DIR, when set, receives a picture of the dialog after its route.
  if (const QByteArray shots = qgetenv("CALIBRATE_SHOT_DIR"); !shots.isEmpty())
    dialog.grab().save(QString::fromLocal8Bit(shots) + "/scan-route.png");

  dialog.STo->setValue(127);
  QTimer::singleShot(300, &dialog, [&] { dialog.BStop->click(); });
  dialog.BRoute->click();
  EXPECT_EQ(dialog.RouteDone().result, RouteResult::Cancelled);
  EXPECT_TRUE(dialog.BRoute->isEnabled());
  std::filesystem::remove_all(dir);
}

}  // namespace
