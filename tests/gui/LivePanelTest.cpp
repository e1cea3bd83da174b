// "Текущие значения" against a virtual meter: samples reach the chart and the
// statistics, the meter is held only while the panel runs, a silent meter
// shows as such, and the export writes the recording.
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QSpinBox>
#include <chrono>
#include <fstream>

#include "GuiTestUtil.h"
#include "app/gui/LivePanel.h"
#include "sim/DemoMode.h"

namespace {

constexpr uint8_t kPort = 9;

class LivePanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    std::string error;
    demo = StartDemoMeter("zfk31", kPort, 3, 9600, error);
    ASSERT_TRUE(demo) << error;
    demo->Meter()->SetFlow(1, 12.5f);
    demo->Meter()->SetFlow(2, 7.0f);
    request.portIndex = kPort - 1;
    request.portText = "COM9";
    request.netAddr = 3;
    context.read = &read;
    context.request = [this] { return request; };
    context.acquire = [this] {
      if (held) return false;
      held = true;
      return true;
    };
    context.release = [this] { held = false; };
    context.demo = true;
  }

  // Lets the panel's timer run until the recording holds n samples.
  static bool WaitForSamples(const TLivePanel& panel, size_t n) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (panel.Samples().size() < n && std::chrono::steady_clock::now() < end)
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    return panel.Samples().size() >= n;
  }

  std::unique_ptr<DemoMeter> demo;
  TMeterRead read;
  ReadRequest request;
  ServiceContext context;
  bool held = false;
  ScratchIni dir;  // a folder for the export
};

TEST_F(LivePanelTest, RunsOnlyWithTheMeterDrawsItsValuesAndExportsThem) {
  auto panel = std::make_unique<TLivePanel>(context);
  panel->EInterval->setValue(100);
  // Nothing runs, and nothing is kept, while another operation has the meter
  // or the port does not open.
  held = true;
  panel->BRun->click();
  EXPECT_TRUE(!panel->Running() && held && panel->LStatus->text().contains("занят"));
  held = false;
  request.portIndex = 200;
  panel->BRun->click();
  EXPECT_FALSE(panel->Running() || held);
  EXPECT_TRUE(panel->LStatus->text().startsWith("Не удалось открыть порт"));

  request.portIndex = kPort - 1;
  panel->BRun->click();
  ASSERT_TRUE(panel->Running()) << panel->LStatus->text().toStdString();
  EXPECT_TRUE(held);
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
  EXPECT_FALSE(panel->Running() || held || read.lumComPort.Active());
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
  std::remove(path.c_str());

  // A meter that stops answering shows as silent, not as its last value; a
  // panel that goes away while it runs gives the meter back.
  panel->BRun->click();
  demo->Meter()->PowerOff();
  const size_t before = panel->Samples().size();
  ASSERT_TRUE(WaitForSamples(*panel, before + 1));
  EXPECT_FALSE(panel->Samples().back().ok[0] || panel->Samples().back().ok[1]);
  EXPECT_TRUE(panel->LStatus->text().contains("нет ответа (G1, G2)"));
  EXPECT_TRUE(held);
  panel.reset();
  EXPECT_FALSE(held || read.lumComPort.Active());
  EXPECT_EQ(demo->Meter()->WriteCount(), 0u);
}

}  // namespace
