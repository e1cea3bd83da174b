// "Обмен" against a virtual meter: the frames of a real engine's exchanges
// show one line each with the command's name, the check and the reply time,
// garbage and silence are counted, "Пауза" stops the recording, and the
// saved file is the pcapng of the recorded frames. CALIBRATE_SHOT_DIR, when
// set, receives a picture of the view.
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <fstream>
#include <iterator>

#include "GuiTestUtil.h"
#include "app/gui/service/TrafficPanel.h"
#include "comm/lum3xProtocol.h"
#include "sim/MeterDevice.h"

namespace {

QString Cell(const TTrafficPanel& p, int row, int column) {
  const QTableWidgetItem* item = p.Table->item(row, column);
  return item ? item->text() : QString("<нет>");
}

TEST(TrafficPanelTest, ShowsCountsPausesAndSavesTheFramesOfTheLine) {
  TestApp();
  auto meter = std::make_shared<metersim::VirtualMeter>(metersim::MeterModel::Zfk31, 3);
  metersim::Fault garbage = metersim::MakeFault(metersim::FaultKind::Garbage);
  garbage.skip = 1;  // the second request: garbage, then silence as the engine gives up
  garbage.times = 1;
  meter->AddFault(garbage);
  ScopedDevice line{"test:traffic-line"};
  line.Put(metersim::MeterDeviceFactory(meter));
  TlumComPort port;
  port.SetDevice(line.Name());
  ASSERT_TRUE(port.Open());
  Tlum3xProtocol engine;
  engine.SetComPort(&port);
  engine.SetNetAddr(3);
  engine.SetRepeatCount(1);
  engine.SetRetryPauseMs(0);

  TTrafficPanel panel;
  std::string id;
  engine.GetDevID(id);  // request and good reply
  ASSERT_EQ(engine.LastError(), 0u);
  const size_t replyLength = id.size() + 7;
  engine.GetDevID(id);  // request, then garbage that makes no frame
  EXPECT_NE(engine.LastError(), 0u);
  ASSERT_EQ(panel.Table->rowCount(), 4);
  EXPECT_EQ(Cell(panel, 0, 1), "→ прибору");
  EXPECT_EQ(Cell(panel, 0, 2), "3");
  EXPECT_EQ(Cell(panel, 0, 3), "3x: идентификация");
  EXPECT_EQ(Cell(panel, 0, 4), "7");
  EXPECT_EQ(Cell(panel, 1, 1), "← от прибора");
  EXPECT_EQ(Cell(panel, 1, 4), QString::number(replyLength));
  EXPECT_EQ(Cell(panel, 1, 5), "верна");
  EXPECT_GT(Cell(panel, 1, 6).toDouble(), 0.0);
  EXPECT_EQ(Cell(panel, 3, 3), "3x: байты вне кадра");
  EXPECT_EQ(Cell(panel, 3, 5), "вне кадра");
  EXPECT_GT(Cell(panel, 3, 4).toInt(), 256);
  EXPECT_EQ(panel.Counters().sent, 2u);
  EXPECT_EQ(panel.Counters().received, 1u);

  // Silence: nothing comes at all.
  metersim::Fault silence = metersim::MakeFault(metersim::FaultKind::Silence);
  silence.times = 1;
  meter->AddFault(silence);
  engine.GetDevID(id);
  EXPECT_EQ(panel.Counters().timeouts, 1u);
  EXPECT_EQ(Cell(panel, 5, 5), "тайм-аут");
  EXPECT_TRUE(panel.LCounters->text().contains("Тайм-аутов: 1"));
  if (const QByteArray dir = qgetenv("CALIBRATE_SHOT_DIR"); !dir.isEmpty()) {
    panel.resize(820, 300);
    panel.grab().save(QString::fromUtf8(dir) + "/traffic-panel.png");
  }

  panel.BPause->click();
  engine.GetDevID(id);
  EXPECT_EQ(panel.Table->rowCount(), 6);
  EXPECT_EQ(panel.BPause->text(), "Продолжить");

  // The file: the section, one interface (3x) and the six packets, the
  // silent one left out, so five.
  const std::string path = testing::TempDir() + "traffic-test.pcapng";
  panel.savePath = [&] { return QString::fromStdString(path); };
  ASSERT_TRUE(panel.Save());
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
  size_t packets = 0, interfaces = 0;
  for (size_t at = 0; at + 8 <= file.size();) {
    const uint32_t type = file[at] | file[at + 1] << 8,
                   length = file[at + 4] | file[at + 5] << 8 | file[at + 6] << 16;
    packets += type == 6;
    interfaces += type == 1;
    if (length == 0) break;
    at += length;
  }
  EXPECT_EQ(interfaces, 1u);
  EXPECT_EQ(packets, 5u);
  std::remove(path.c_str());
}

}  // namespace
