// Two drivers through the real serial layer: the virtual meter answers on a
// pseudo-terminal at the line speed, the driver's port opens it by path, and
// every byte goes through termios. Real time, a few hundred milliseconds.
#include <gtest/gtest.h>

#include <numeric>

#include "ModelTraits.h"
#include "sim/PtyMeterServer.h"

namespace drivertest {
namespace {

constexpr uint8_t kPort = 62;
constexpr uint32_t kBaud = 19200;

// A meter served on a pseudo-terminal, a port bound to it and a driver on
// the port.
template <class Driver>
struct PtyRig {
  explicit PtyRig(MeterModel model) : meter(std::make_shared<VirtualMeter>(model, 1, Line())) {
    started = server.Start();
    if (!started) return;
    lum::BindSerialPortPath(kPort, server.DevicePath());
    port.SetComPort(kPort);
    port.SetBaudRate(kBaud);
    opened = port.Open();
    driver.SetComPort(&port);
    driver.SetNetAddr(1);
  }
  ~PtyRig() {
    port.Close();
    lum::UnbindSerialPort(kPort);
  }
  static metersim::MeterOptions Line() {
    metersim::MeterOptions o;
    o.baud = kBaud;
    return o;
  }

  std::shared_ptr<VirtualMeter> meter;
  metersim::PtyMeterServer server{meter};
  TlumComPort port;
  Driver driver;
  bool started = false, opened = false;
};

TEST(PtyDrivers, Zfk36BlockWriteAndRecordOverALine) {
  PtyRig<TlumZfk36> rig(MeterModel::Zfk36);
  ASSERT_TRUE(rig.started) << rig.server.ErrorText();
  ASSERT_TRUE(rig.opened);
  ScopedLocalTime clock(At(2009, 3, 7, 14, 5, 9));
  auto& d = rig.driver;

  EXPECT_EQ(d.GetDeviceNumber(), "360517");
  d.SetSealmark("L0421.05");
  ASSERT_TRUE(d.ClbWriteK(2, 5, 0.375f));
  EXPECT_EQ(d.LastError(), 0u);
  float v = 0;
  ASSERT_TRUE(d.ClbReadK(2, 5, v));
  EXPECT_EQ(v, 0.375f);

  const auto txs = Transactions(rig.meter->Requests());
  // Serial number, block read, twelve pieces, record, read back: each once.
  ASSERT_EQ(txs.size(), 16u);
  EXPECT_EQ(txs[1], (Tx{RequestKind::ReadRtc2k, 1504, 146}));
  EXPECT_EQ(txs[13], (Tx{RequestKind::WriteRtc2k, 1592, 58}));
  EXPECT_EQ(txs[14], (Tx{RequestKind::WriteRtc2k, 2016, 16}));
  const Bytes block = rig.meter->Read(MemoryArea::Rtc2k, 1504, 146);
  const unsigned sum = std::accumulate(block.begin(), block.begin() + 144, 0u);
  EXPECT_EQ(static_cast<uint16_t>(sum + (unsigned{block[144]} << 8 | block[145])), 0xFFFF);
  EXPECT_EQ(rig.meter->Read(MemoryArea::Rtc2k, 2016, 16),
            Hex("4C 30 34 32 31 2E 30 35 00 00 09 03 07 14 05 09"));
}

TEST(PtyDrivers, Gdz1208CoefficientsAndRecordOverALine) {
  PtyRig<TlumGdz1208> rig(MeterModel::Gdz1208);
  ASSERT_TRUE(rig.started) << rig.server.ErrorText();
  ASSERT_TRUE(rig.opened);
  ScopedLocalTime clock(At(2024, 3, 7, 9, 5, 30));
  auto& d = rig.driver;

  EXPECT_EQ(d.GetDeviceNumber(), "120845");
  EXPECT_EQ(d.GetSoftVer(), "01.05");
  d.SetSealmark("L0421.05");
  ASSERT_TRUE(d.ClbWriteK(1, 0, -1.9f));
  ASSERT_TRUE(d.ClbWriteObr(2, 9, 0.0625f));
  float v = 0;
  ASSERT_TRUE(d.ClbReadK(1, 0, v));
  EXPECT_EQ(v, -1.0f);
  ASSERT_TRUE(d.ClbReadObr(2, 9, v));
  EXPECT_EQ(v, 0.0625f);
  ASSERT_TRUE(d.ClbWriteSealmark());
  EXPECT_EQ(d.LastError(), 0u);
  EXPECT_EQ(rig.meter->Register(370), 0xFFFF);
  EXPECT_EQ(rig.meter->Register(176), 0x2403);
  EXPECT_EQ(rig.meter->Register(177), 0x0709);
  EXPECT_EQ(rig.meter->Register(178), 0x0530);
  EXPECT_EQ(rig.meter->Requests().size(), 8u);
}

}  // namespace
}  // namespace drivertest
