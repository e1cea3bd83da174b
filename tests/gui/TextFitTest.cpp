// Every text of the window and of the time-outs dialog shows whole, whatever
// the font and the screen's scale; ctest runs this file once per scale factor
// (QT_SCALE_FACTOR). The checker itself is tried on controls squeezed on
// purpose, so that a pass means something.
#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <chrono>

#include "GuiTestUtil.h"
#include "app/gui/read/DelaysForm.h"
#include "app/gui/read/ScanDialog.h"
#include "app/gui/service/ServiceWindow.h"
#include "sim/DemoMode.h"
#include "sim/MeterDevice.h"
#include "sim/MeterSim.h"
#include "sim/PtyMeterServer.h"
#include "support/VirtualTime.h"

namespace {

using metersim::MeterModel;

class TextFitTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    window = MakeWindow(ini.Path());
    window->show();
    QCoreApplication::processEvents();
    // The factor ctest asked for is the one the window is drawn at.
    const QByteArray factor = qgetenv("QT_SCALE_FACTOR");
    if (!factor.isEmpty()) {
      EXPECT_DOUBLE_EQ(window->devicePixelRatio(), factor.toDouble());
    }
  }
  std::unique_ptr<TFrmMain> window;
};

// The search dialog against the demo bus: the meters there and no others,
// its texts whole, the chosen row in the window, and "Стоп" heard mid-scan.
TEST_F(TextFitTest, ScanDialogFindsTheBusShowsItWholeAndFillsTheWindow) {
  std::string error;
  auto demo = StartDemoMeter("bus", 0, 9600, error);
  ASSERT_TRUE(demo) << error;
  ScanRequest request;
  request.port.device = demo->Device();
  request.port.name = "COM7";
  request.bauds = {9600};
  request.to = 18;
  // Room for a virtual meter on a loaded machine: the test is about what is
  // found, not about the time-outs.
  request.timeouts.packetMs = 100;
  TScanDialog dialog(request, BuiltInVerTable(), window.get());
  dialog.show();
  dialog.Start();
  ASSERT_EQ(dialog.Outcome().result, ScanResult::Done);
  std::vector<std::string> rows;
  for (int r = 0; r < dialog.Table->rowCount(); ++r)
    rows.push_back((dialog.Table->item(r, 0)->text() + " " + dialog.Table->item(r, 2)->text() +
                    " " + dialog.Table->item(r, 4)->text())
                       .toStdString());
  EXPECT_EQ(rows, (std::vector<std::string>{"1 3x ЗФК-31", "17 3x Прибор", "5 modbus БРЦ-АКС"}));
  EXPECT_EQ(TextFit::Clipped(dialog), std::vector<std::string>{});

  dialog.Table->selectRow(2);
  window->ApplyScanChoice(*dialog.Chosen());
  EXPECT_EQ(window->UDNetAddr->value(), 5);
  EXPECT_EQ(window->CBBaud->currentIndex(), 0);

  dialog.STo->setValue(127);
  QTimer::singleShot(200, &dialog, [&] { dialog.BStop->click(); });
  const auto t0 = std::chrono::steady_clock::now();
  dialog.Start();
  EXPECT_EQ(dialog.Outcome().result, ScanResult::Cancelled);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(800));
}

// Two meters set to one address: the table says so in words, whole, and
// "Выбрать" has no meter to hand back for that row.
TEST_F(TextFitTest, ScanDialogShowsAnAddressConflictAndDoesNotOfferIt) {
  metersim::PtyMeterServer server{
      metersim::MeterBus({std::make_shared<metersim::VirtualMeter>(MeterModel::Zfk31, 2),
                          std::make_shared<metersim::VirtualMeter>(MeterModel::Gdz1207s, 2),
                          std::make_shared<metersim::VirtualMeter>(MeterModel::Zfk36, 3)})};
  ASSERT_TRUE(server.Start());
  ScanRequest request;
  request.port.device = server.DevicePath();
  request.bauds = {9600};
  request.from = 2;
  request.to = 3;
  request.protocols = {ScanProtocol::ThreeX};
  request.timeouts.packetMs = 100;
  TScanDialog dialog(request, BuiltInVerTable(), window.get());
  dialog.show();
  dialog.Start();
  ASSERT_EQ(dialog.Table->rowCount(), 2);
  EXPECT_EQ(dialog.Table->item(0, 3)->text().toStdString(), kAddressConflictText);
  EXPECT_EQ(dialog.Table->item(1, 4)->text().toStdString(), "Прибор");
  EXPECT_EQ(TextFit::Clipped(dialog), std::vector<std::string>{});
  dialog.Table->selectRow(0);
  EXPECT_FALSE(dialog.Chosen());
  dialog.Table->selectRow(1);
  ASSERT_TRUE(dialog.Chosen());
  EXPECT_EQ(dialog.Chosen()->address, 3);
}

TEST_F(TextFitTest, TimeOutsDialogShowsEveryEntryLabelAndValueWhole) {
  TFormDelays& dialog = window->FormDelays();
  dialog.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(TextFit::Clipped(dialog), std::vector<std::string>{});
  // The list was the control that cut its entries; said once more plainly.
  EXPECT_GE(dialog.LBDev->viewport()->width(), dialog.LBDev->sizeHintForColumn(0));
  EXPECT_FALSE(dialog.LBDev->horizontalScrollBar()->isVisible());
  dialog.reject();
}

// After a read of each model: its caption, the longest values and the
// "no data" text in the fields, the firmware rows shown.
TEST_F(TextFitTest, WindowShowsEveryTextWholeAfterEachModelsRead) {
  constexpr uint8_t kPort = 27;
  ScopedVirtualTime time;
  ScopedDevice line{"test:text-fit-line"};
  ASSERT_TRUE(window->IniSettings().Ini().WriteString("Ports", "COM27", line.Name()));
  window->SelectPortForRun(kPort);
  for (MeterModel model : {MeterModel::Zfk31, MeterModel::Zfk36, MeterModel::Gdz1207s,
                           MeterModel::Gdz1207s2, MeterModel::Gdz1208, MeterModel::Gdz1208x2}) {
    SCOPED_TRACE(metersim::MeterModelName(model));
    metersim::MeterOptions options;
    options.pacing = false;
    line.Put(
        metersim::MeterDeviceFactory(std::make_shared<metersim::VirtualMeter>(model, 0, options)));
    window->BRefreshClick();
    ASSERT_EQ(window->LastReading().result, ReadResult::Ok);
    QCoreApplication::processEvents();
    EXPECT_EQ(TextFit::Clipped(*window), std::vector<std::string>{});
  }
}

// The service window of a ZFK-31 (every view it has) with the values loaded
// and a seal typed.
TEST_F(TextFitTest, ServiceWindowShowsEachViewWhole) {
  constexpr uint8_t kPort = 26;
  ScopedVirtualTime time;
  metersim::MeterOptions options;
  options.pacing = false;
  const ScopedDevice line{"test:text-fit-line",
                          metersim::MeterDeviceFactory(std::make_shared<metersim::VirtualMeter>(
                              MeterModel::Zfk31, 0, options))};
  ASSERT_TRUE(window->IniSettings().Ini().WriteString("Ports", "COM26", line.Name()));
  window->SelectPortForRun(kPort);
  window->BRefreshClick();
  ASSERT_EQ(window->LastReading().result, ReadResult::Ok);
  window->BServiceClick();
  TFrmService& service = *window->ServiceWindow();
  service.LoadClick();
  service.ESeal->setText("C1051234");
  // coefficients, seal, clock, traffic, bench, live values, journal
  ASSERT_EQ(service.Tabs->count(), 7);
  for (int tab = 0; tab < service.Tabs->count(); ++tab) {
    service.Tabs->setCurrentIndex(tab);
    QCoreApplication::processEvents();
    EXPECT_EQ(TextFit::Clipped(service), std::vector<std::string>{}) << tab;
  }
}

// A larger font gives a larger window and dialog that still show every text
// whole.
TEST_F(TextFitTest, WindowAndDialogGrowWithTheFont) {
  const QFont normal = QApplication::font();
  QFont large = normal;
  large.setPointSizeF(normal.pointSizeF() * 1.6);
  QApplication::setFont(large);
  auto big = MakeWindow(ini.Path());
  big->show();
  big->FormDelays().show();
  QCoreApplication::processEvents();
  for (auto [drawn, grown] : {std::pair<QWidget*, QWidget*>{window.get(), big.get()},
                              {&window->FormDelays(), &big->FormDelays()}}) {
    SCOPED_TRACE(drawn->objectName().toStdString());
    EXPECT_GT(grown->width(), drawn->width());
    EXPECT_GT(grown->height(), drawn->height());
    EXPECT_EQ(TextFit::Clipped(*grown), std::vector<std::string>{});
  }
  big->FormDelays().reject();
  QApplication::setFont(normal);
}

TEST_F(TextFitTest, CheckerNamesEachKindOfSqueezedControl) {
  const QString longText = "Очень длинный текст, которому здесь тесно";
  QDialog tight;
  auto* group = new QGroupBox(longText, &tight);
  auto* label = new QLabel(longText, group);
  auto* edit = new QLineEdit(longText, group);
  auto* spin = new QSpinBox(group);
  spin->setRange(0, 1000000000);
  auto* combo = new QComboBox(group);
  combo->addItem(longText);
  auto* button = new QPushButton(longText, group);
  auto* list = new QListWidget(group);
  list->addItem(longText);
  auto* row = new QHBoxLayout(group);
  for (QWidget* w : std::initializer_list<QWidget*>{label, edit, spin, combo, button, list}) {
    w->setMinimumWidth(1);  // let the layout squeeze it
    w->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(w);
  }
  group->setGeometry(0, 0, 200, 120);
  tight.setFixedSize(250, 120);
  tight.show();
  QCoreApplication::processEvents();

  const std::vector<std::string> clipped = TextFit::Clipped(tight);
  for (QWidget* w :
       std::initializer_list<QWidget*>{group, label, edit, spin, combo, button, list}) {
    const std::string name = w->metaObject()->className();
    const bool named = std::any_of(clipped.begin(), clipped.end(), [&](const std::string& line) {
      return line.rfind(name + " ", 0) == 0;
    });
    EXPECT_TRUE(named) << name << ::testing::PrintToString(clipped);
  }
}

}  // namespace
