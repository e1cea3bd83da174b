// "Текущие значения" against a virtual meter: samples reach the chart and the
// statistics, the meter is held only while the panel runs, a silent meter
// shows as such, and the export writes the recording.
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QSpinBox>
#include <atomic>
#include <chrono>
#include <fstream>

#include "GuiTestUtil.h"
#include "app/gui/service/LivePanel.h"
#include "sim/MeterDevice.h"
#include "support/ScriptedLine.h"

namespace {

class LivePanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    meter->SetFlow(1, 12.5f);
    meter->SetFlow(2, 7.0f);
    line.Put([factory = metersim::MeterDeviceFactory(meter),
              open = open](uint32_t baud) -> std::unique_ptr<SerialDevice> {
      auto device = factory(baud);
      if (!device) return nullptr;
      return std::make_unique<CountedDevice>(std::move(device), open);
    });
    bench.SetDemo(true);
    AimAt({line.Name(), "COM9", 9600, 3, false});
  }
  // The meter the panel samples: that of a read made at spec.
  void AimAt(const PortSpec& spec) {
    bench.SetPort(spec);
    bench.SetLastReading({});
  }
  bool Held() const { return bench.Busy(); }
  bool PortOpen() const { return *open > 0; }

  // Lets the panel's timer run until the recording holds n samples.
  static bool WaitForSamples(const TLivePanel& panel, size_t n) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (panel.Samples().size() < n && std::chrono::steady_clock::now() < end)
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    return panel.Samples().size() >= n;
  }

  ScratchIni dir;  // a folder for the export, and the settings file
  Workbench bench{dir.Path(), "calibrate"};
  std::shared_ptr<metersim::VirtualMeter> meter =
      std::make_shared<metersim::VirtualMeter>(metersim::MeterModel::Zfk31, 3);
  std::shared_ptr<std::atomic<int>> open = std::make_shared<std::atomic<int>>(0);
  ScopedDevice line{"test:live-line"};
};

TEST_F(LivePanelTest, RunsOnlyWithTheMeterDrawsItsValuesAndExportsThem) {
  auto panel = std::make_unique<TLivePanel>(bench);
  panel->EInterval->setValue(100);
  // Nothing runs, and nothing is kept, while another operation has the meter
  // or the port does not open.
  auto other = std::make_unique<Workbench::Operation>(bench);
  panel->BRun->click();
  EXPECT_TRUE(!panel->Running() && Held() && panel->LStatus->text().contains("занят"));
  other.reset();
  EXPECT_FALSE(Held());
  const PortSpec good = bench.MeterPort();
  AimAt(bench.PortOf("COM200", 9600, 3));
  panel->BRun->click();
  EXPECT_FALSE(panel->Running() || Held());
  EXPECT_TRUE(panel->LStatus->text().startsWith("Не удалось открыть порт"));

  AimAt(good);
  panel->BRun->click();
  ASSERT_TRUE(panel->Running()) << panel->LStatus->text().toStdString();
  EXPECT_TRUE(Held());
  ASSERT_TRUE(WaitForSamples(*panel, 4));
  const float flows[] = {12.5f, 7.0f};
  for (size_t ch = 0; ch < 2; ++ch) {
    ASSERT_GE(panel->Series[ch]->count(), 4);
    for (const QPointF& p : panel->Series[ch]->points())
      EXPECT_NEAR(p.y(), flows[ch], flows[ch] * 0.011) << ch;
    EXPECT_TRUE(panel->LStats[ch]->text().startsWith(QString("G%1: мин ").arg(ch + 1)));
  }
  // "Пауза" closes the port and gives the meter back.
  panel->BRun->click();
  EXPECT_FALSE(panel->Running() || Held() || PortOpen());
  EXPECT_EQ(panel->BRun->text(), "Пуск");

  const std::string path = dir.Path() + ".csv";
  panel->exportPath = [&] { return QString::fromStdString(path); };
  ASSERT_TRUE(panel->Export()) << panel->LStatus->text().toStdString();
  std::stringstream file;
  file << std::ifstream(path).rdbuf();
  const std::string csv = file.str();
  EXPECT_EQ(csv, LiveCsv(panel->Samples()));
  EXPECT_EQ(static_cast<size_t>(std::count(csv.begin(), csv.end(), '\n')),
            panel->Samples().size() + 1);
  // [Service] CsvExcel=1: laid out for a spreadsheet set up for Russian.
  ASSERT_TRUE(bench.GetSettings().Ini().WriteInteger("Service", "CsvExcel", 1));
  ASSERT_TRUE(panel->Export()) << panel->LStatus->text().toStdString();
  std::stringstream excel;
  excel << std::ifstream(path).rdbuf();
  EXPECT_EQ(excel.str(), LiveCsv(panel->Samples(), CsvDialect::RussianExcel));
  EXPECT_NE(excel.str(), csv);
  std::remove(path.c_str());

  // A meter that stops answering shows as silent, not as its last value; a
  // panel that goes away while it runs gives the meter back.
  panel->BRun->click();
  meter->PowerOff();
  const size_t before = panel->Samples().size();
  ASSERT_TRUE(WaitForSamples(*panel, before + 1));
  EXPECT_FALSE(panel->Samples().back().ok[0] || panel->Samples().back().ok[1]);
  EXPECT_TRUE(panel->LStatus->text().contains("нет ответа (G1, G2)"));
  EXPECT_TRUE(Held());
  panel.reset();
  EXPECT_FALSE(Held() || PortOpen());
  EXPECT_EQ(meter->WriteCount(), 0u);
}

}  // namespace
