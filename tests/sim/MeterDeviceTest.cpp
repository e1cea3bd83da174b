// The in-process meter device on virtual time: pacing, turnaround, timing
// faults, purge and hang-up, and through the serial port component.
#include <gtest/gtest.h>

#include "SimTestUtil.h"
#include "comm/LuMComPort.h"
#include "sim/MeterDevice.h"
#include "support/ScriptedLine.h"
#include "support/VirtualTime.h"

namespace {

using metersim::MeterDevice;
using metersim::MeterModel;
using metersim::ParseFault;
using namespace simtest;

const std::vector<uint8_t> kId = Hex("55 01 FE 00 00 00 AB");
const std::vector<uint8_t> kReply = Hex("AA 01 FE 00 00 06 5A 46 4B 2D 33 31 D4");

std::shared_ptr<metersim::VirtualMeter> PacedMeter(MeterModel model = MeterModel::Zfk31) {
  return std::make_shared<metersim::VirtualMeter>(model, 1);  // 9600 baud, 5 ms turnaround
}

struct Arrival {
  uint8_t byte;
  uint64_t atMs;  // virtual time since the request
};

// Reads like a polling master: wait, take what is there; up to `limitMs`.
std::vector<Arrival> Collect(MeterDevice& device, uint64_t startMs, uint64_t limitMs,
                             size_t maxBytes = 10000) {
  std::vector<Arrival> got;
  while (lum::NowMs() - startMs < limitMs && got.size() < maxBytes) {
    uint8_t b;
    if (device.ReadByte(b))
      got.push_back({b, lum::NowMs() - startMs});
    else
      device.WaitForInput(static_cast<uint32_t>(limitMs - (lum::NowMs() - startMs)));
  }
  return got;
}

std::vector<uint8_t> BytesOf(const std::vector<Arrival>& a) {
  std::vector<uint8_t> out;
  for (const auto& x : a)
    out.push_back(x.byte);
  return out;
}

TEST(MeterDevice, PacesTheReplyAtTenBitTimesAByteAfterTheTurnaround) {
  ScopedVirtualTime vt;
  MeterDevice device(PacedMeter());
  const uint64_t t0 = lum::NowMs();
  // Byte by byte, as the 3x engine writes.
  for (uint8_t b : kId)
    ASSERT_TRUE(device.Write(std::span(&b, 1)));
  uint8_t b;
  EXPECT_FALSE(device.ReadByte(b));
  const auto got = Collect(device, t0, 200);
  ASSERT_EQ(BytesOf(got), kReply);
  // 7 request bytes of 1.041 ms reach the meter at 7.3 ms; 5 ms turnaround;
  // the first reply byte is in at 13.3 ms, the 13th at 25.8 ms.
  EXPECT_EQ(got.front().atMs, 14u);
  EXPECT_EQ(got.back().atMs, 26u);
}

TEST(MeterDevice, WithoutPacingTheReplyComesWholeAfterTheTurnaround) {
  ScopedVirtualTime vt;
  auto meter = Meter(MeterModel::Zfk31);
  MeterDevice device(meter);
  const uint64_t t0 = lum::NowMs();
  ASSERT_TRUE(device.Write(kId));
  const auto got = Collect(device, t0, 100);
  ASSERT_EQ(BytesOf(got), kReply);
  EXPECT_EQ(got.front().atMs, 5u);
  EXPECT_EQ(got.back().atMs, 5u);
}

TEST(MeterDevice, TimingFaults) {
  struct Case {
    const char* fault;
    uint64_t firstMs, lastMs;
  };
  const Case cases[] = {
      {"delay:ms=800", 814, 826},
      {"gap:n=3,ms=200", 14, 226},
  };
  for (const Case& c : cases) {
    ScopedVirtualTime vt;
    auto meter = PacedMeter();
    meter->AddFault(*ParseFault(c.fault));
    MeterDevice device(meter);
    const uint64_t t0 = lum::NowMs();
    ASSERT_TRUE(device.Write(kId));
    const auto got = Collect(device, t0, 2000);
    ASSERT_EQ(BytesOf(got), kReply) << c.fault;
    EXPECT_EQ(got.front().atMs, c.firstMs) << c.fault;
    EXPECT_EQ(got.back().atMs, c.lastMs) << c.fault;
  }
  // The gap sits between byte 3 and byte 4.
  ScopedVirtualTime vt;
  auto meter = PacedMeter();
  meter->AddFault(*ParseFault("gap:n=3,ms=200"));
  MeterDevice device(meter);
  const uint64_t t0 = lum::NowMs();
  device.Write(kId);
  const auto got = Collect(device, t0, 2000);
  ASSERT_EQ(got.size(), kReply.size());
  EXPECT_LT(got[2].atMs, 20u);
  EXPECT_GT(got[3].atMs, 215u);
}

TEST(MeterDevice, GarbageRunsWithoutEndUntilTheMasterSendsAgain) {
  ScopedVirtualTime vt;
  auto meter = Meter(MeterModel::Zfk31);  // pacing off: garbage still at line speed
  meter->AddFault(*ParseFault("garbage:times=1"));
  MeterDevice device(meter);
  const uint64_t t0 = lum::NowMs();
  ASSERT_TRUE(device.Write(kId));
  const auto got = Collect(device, t0, 1000);
  // 9600 baud: about 960 bytes a second, none of them a 3x reply start.
  EXPECT_GT(got.size(), 900u);
  EXPECT_LT(got.size(), 1000u);
  for (const auto& a : got)
    ASSERT_NE(a.byte, 0xAA);
  const auto more = Collect(device, lum::NowMs(), 500);
  EXPECT_GT(more.size(), 400u);
  // The master purges and asks again: the stream stops, the answer comes.
  device.Purge();
  ASSERT_TRUE(device.Write(kId));
  EXPECT_EQ(BytesOf(Collect(device, lum::NowMs(), 200)), kReply);
}

TEST(MeterDevice, PurgeDropsWhatHasArrivedButNotWhatIsOnItsWay) {
  ScopedVirtualTime vt;
  MeterDevice device(PacedMeter());
  ASSERT_TRUE(device.Write(kId));
  ASSERT_TRUE(device.WaitForInput(100));  // first byte in
  vt.clock.Advance(1);                    // second byte in too
  device.Purge();
  const auto rest = BytesOf(Collect(device, lum::NowMs(), 100));
  EXPECT_EQ(rest, std::vector<uint8_t>(kReply.begin() + 2, kReply.end()));
}

TEST(MeterDevice, HangUpClosesThisLineAndANewOpenWorks) {
  ScopedVirtualTime vt;
  auto meter = PacedMeter();
  meter->AddFault(*ParseFault("hangup:n=4,times=1"));
  auto factory = metersim::MeterDeviceFactory(meter);
  auto device = factory(9600);
  ASSERT_TRUE(device->Write(kId));
  auto& line = static_cast<MeterDevice&>(*device);
  EXPECT_EQ(BytesOf(Collect(line, lum::NowMs(), 200)),
            std::vector<uint8_t>(kReply.begin(), kReply.begin() + 4));
  EXPECT_TRUE(line.LineClosed());
  EXPECT_FALSE(device->Write(kId));
  const uint64_t before = lum::NowMs();
  EXPECT_FALSE(device->WaitForInput(50));
  EXPECT_EQ(lum::NowMs() - before, 50u);  // a dead line waits out the time
  auto fresh = factory(9600);
  ASSERT_TRUE(fresh->Write(kId));
  EXPECT_EQ(BytesOf(Collect(static_cast<MeterDevice&>(*fresh), lum::NowMs(), 200)), kReply);
}

TEST(MeterDevice, ServesThroughTheSerialPortComponent) {
  ScopedVirtualTime vt;
  constexpr uint8_t kPort = 57;
  ScopedPortBinding binding(kPort);
  auto meter = std::make_shared<metersim::VirtualMeter>(MeterModel::Gdz1208, 1);
  metersim::BindMeterToPort(kPort, meter);
  TlumComPort port;
  port.SetComPort(kPort);
  port.SetBaudRate(19200);
  ASSERT_TRUE(port.Open());
  const auto request = Hex("01 03 01 3B 00 02 B4 3A");
  ASSERT_TRUE(port.WriteBuffer(request));
  std::vector<uint8_t> reply;
  const uint64_t t0 = lum::NowMs();
  while (reply.size() < 9 && lum::NowMs() - t0 < 500) {
    uint8_t b;
    if (port.ReadByte(b))
      reply.push_back(b);
    else
      port.WaitForInput(10);
  }
  EXPECT_EQ(HexText(reply), "01 03 04 00 01 D8 0D 30 36");
  port.Close();
  const auto log = meter->Requests();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].start, 315u);
  EXPECT_EQ(log[0].length, 2u);
  EXPECT_FALSE(log[0].writes);
}

}  // namespace
