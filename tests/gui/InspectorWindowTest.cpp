// The service window of an inspector, with the mode held as main() holds it
// for --inspector: no control that writes is on show in any of its views, the
// top says so, the coefficients cannot be edited, and a write that reaches the
// window from elsewhere is refused with nothing sent to the meter.
#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidgetItem>
#include <fstream>
#include <functional>
#include <set>

#include "GuiTestUtil.h"
#include "app/core/ops/MeterSnapshotRead.h"
#include "app/core/settings/InspectorMode.h"
#include "app/core/values/MeterSnapshotJson.h"
#include "app/gui/service/ServiceWindow.h"
#include "sim/DemoMode.h"

namespace {

// The mode for one test: the other tests of the program write.
struct HeldForTest {
  explicit HeldForTest(const InspectorMode& mode) { HoldInspectorMode(mode); }
  ~HeldForTest() { HoldInspectorMode({}); }
};

TEST_F(WindowTest, AnInspectorsServiceWindowHasNoWayToWrite) {
  InspectorMode mode;
  mode.commandLine = true;
  const HeldForTest held(mode);
  std::string error;
  auto demo = StartDemoMeter("zfk36", 0, 9600, error);  // a model with a clock
  ASSERT_TRUE(demo) << error;
  auto window = MakeWindow(ini.Path());
  window->SelectDeviceForRun(demo->Device(), "демо");
  window->BRefreshClick();
  ASSERT_EQ(window->LastReading().result, ReadResult::Ok);
  window->BServiceClick();
  TFrmService& service = *window->ServiceWindow();
  service.LoadClick();
  EXPECT_EQ(service.StatusText().toStdString(), "Прочитано из прибора.");

  ASSERT_NE(service.LInspector, nullptr);
  EXPECT_TRUE(service.LInspector->isVisible());
  EXPECT_EQ(service.LInspector->text().toStdString(), "Режим проверки: запись запрещена");
  EXPECT_NE(service.LInspector->toolTip().indexOf("--inspector"), -1);
  const std::set<QWidget*> writing{service.BWriteCoefs, service.BResetCoefs, service.BRestore,
                                   service.BWriteSeal,  service.BSetClock,   service.ESeal};
  std::set<std::string> shown;
  for (int tab = 0; tab < service.Tabs->count(); ++tab) {
    service.Tabs->setCurrentIndex(tab);
    for (QWidget* w : service.findChildren<QWidget*>()) {
      if (!w->isVisible()) continue;
      EXPECT_EQ(writing.count(w), 0u) << w->objectName().toStdString();
      if (auto* b = qobject_cast<QAbstractButton*>(w)) shown.insert(b->text().toStdString());
    }
  }
  EXPECT_TRUE(shown.count("Прочитать") && shown.count("Снимок")) << shown.size();
  for (const std::string& text : shown)
    for (const char* word : {"Записать", "Сбросить", "Восстановить", "Установить"})
      EXPECT_EQ(text.find(word), std::string::npos) << text;
  QTableWidgetItem* cell = service.CoefCell(0, 1, 3);
  ASSERT_NE(cell, nullptr);
  EXPECT_FALSE(cell->flags() & Qt::ItemIsEditable);

  const std::string snapshotFile = ini.Path() + ".snapshot.json";
  std::ofstream(snapshotFile) << DumpJson(
      SnapshotToJson(TakeSnapshot(window->Bench().MeterPort(), window->Bench().GetCatalogue())));
  const size_t requests = demo->Meter()->Requests().size();
  cell->setText("1.5");
  service.ESeal->setText("C2069876");
  for (const auto& click : std::initializer_list<std::function<void()>>{
           [&] { service.WriteCoefsClick(); }, [&] { service.ResetCoefsClick(); },
           [&] { service.RestoreFrom(QString::fromStdString(snapshotFile)); },
           [&] { service.WriteSealClick(); }, [&] { service.SetClockClick(); }}) {
    click();
    EXPECT_TRUE(service.StatusText().startsWith("Не записано: режим проверки"))
        << service.StatusText().toStdString();
  }
  EXPECT_EQ(demo->Meter()->Requests().size(), requests);
  EXPECT_EQ(demo->Meter()->WriteCount(), 0u);

  // CALIBRATE_SHOT_DIR, when set, receives a picture of the window.
  if (const QByteArray dir = qgetenv("CALIBRATE_SHOT_DIR"); !dir.isEmpty()) {
    service.Tabs->setCurrentIndex(0);
    service.grab().save(QString::fromUtf8(dir) + "/service-window-inspector.png");
  }
}

}  // namespace
