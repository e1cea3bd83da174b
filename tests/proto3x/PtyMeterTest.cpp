// The 3x engine over a real pseudo-terminal, through the termios layer, against
// the virtual meters: identification, every memory area, and recovery from the
// faults a real line produces. Real time, kept short by small time-outs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "comm/LumClock.h"
#include "comm/LumUtils.h"
#include "comm/lum3xProtocol.h"
#include "sim/MeterSim.h"
#include "sim/PtyMeterServer.h"

namespace {

using metersim::Fault;
using metersim::FaultKind;
using metersim::MemoryArea;
using metersim::MeterModel;
using metersim::RequestKind;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr uint8_t kPort = 57;
constexpr uint8_t kAddress = 5;

// A fault with the sim's defaults that hits `times` replies (0: all).
Fault Hit(FaultKind kind, uint32_t times = 1) {
  Fault f = metersim::MakeFault(kind);
  f.times = times;
  return f;
}

long MsSince(Clock::time_point t) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

class PtyMeter3x : public ::testing::Test {
 protected:
  void SetUp() override { Connect(MeterModel::Zfk31); }
  void TearDown() override {
    port.Close();
    lum::UnbindSerialPort(kPort);
    lum::SetLocalDateTimeSource(nullptr);
  }

  void Connect(MeterModel model) {
    port.Close();
    server.reset();
    metersim::MeterOptions options;
    options.baud = 19200;
    meter = std::make_shared<metersim::VirtualMeter>(model, kAddress, options);
    server = std::make_unique<metersim::PtyMeterServer>(meter);
    ASSERT_TRUE(server->Start()) << server->ErrorText();
    lum::BindSerialPortPath(kPort, server->DevicePath());
    port.SetComPort(kPort);
    port.SetBaudRate(19200);
    engine.SetComPort(&port);
    engine.SetNetAddr(kAddress);
    engine.SetPacketTimeout(300);  // generous: the suite may run on a loaded machine
    engine.SetByteTimeout(100);
    engine.SetRepeatCount(3);
    engine.SetAutoOpenPort(true);
  }
  size_t RequestsFor(RequestKind kind) const {
    size_t n = 0;
    for (const auto& r : meter->Requests())
      n += r.kind == kind;
    return n;
  }

  std::shared_ptr<metersim::VirtualMeter> meter;
  std::unique_ptr<metersim::PtyMeterServer> server;
  TlumComPort port;
  Tlum3xProtocol engine;
};

TEST_F(PtyMeter3x, IdentifiesEachModel) {
  const std::tuple<MeterModel, std::string, uint32_t> cases[] = {
      {MeterModel::Zfk31, "ZFK-31", 1},
      {MeterModel::Zfk36, "ZFK-36", 0},
      {MeterModel::Gdz1207s, "GDZ25", 0},
  };
  for (const auto& [model, id, type] : cases) {
    Connect(model);
    std::string text;
    engine.GetDevID(text);
    EXPECT_EQ(engine.LastError(), lumOk) << id;
    EXPECT_EQ(text, id);
    EXPECT_EQ(engine.DetectDevice(), type) << id;
    std::string version;
    engine.GetSoftVer(version);
    EXPECT_EQ(engine.LastError(), lumOk) << id;
    EXPECT_EQ(version, meter->SoftVersion());
  }
  // The ModBus meter does not speak this protocol.
  Connect(MeterModel::Gdz1208);
  engine.SetRepeatCount(1);
  EXPECT_EQ(engine.DetectDevice(), 0u);
  EXPECT_EQ(engine.LastError(), lumErrRead);
}

TEST_F(PtyMeter3x, ReadsAndWritesEveryArea) {
  engine.SetEWrite(true);
  const Bytes pattern = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
  Bytes got(6);

  engine.WriteRtc2k(0x0300, pattern, 6);
  EXPECT_EQ(meter->Read(MemoryArea::Rtc2k, 0x0300, 6), pattern);
  engine.ReadRtc2k(0x0300, got, 6);
  EXPECT_EQ(got, pattern);
  engine.WriteCfg(0x0310, pattern, 3);
  engine.WriteRtc2kP(0x0313, pattern.data() + 3, 3);
  engine.ReadCfg(0x0310, got, 6);
  EXPECT_EQ(got, pattern);
  engine.CustomWriteRtc2k(0x0F81, 0x0320, pattern, 2);
  EXPECT_EQ(meter->Read(MemoryArea::Rtc2k, 0x0320, 2), (Bytes{0x11, 0x22}));
  std::fill(got.begin(), got.end(), 0);
  engine.ReadRtc2kP(0x0320, got.data(), 2);
  EXPECT_EQ(got, (Bytes{0x11, 0x22, 0, 0, 0, 0}));

  engine.WriteRAM(0x0100, pattern, 6);
  engine.WriteRAMP(0x0106, pattern.data(), 1);
  EXPECT_EQ(meter->Read(MemoryArea::Ram, 0x0100, 7),
            (Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x11}));
  engine.ReadRAM(0x0101, got, 6);
  EXPECT_EQ(got, (Bytes{0x22, 0x33, 0x44, 0x55, 0x66, 0x11}));
  engine.ReadRAMP(0x0100, got.data(), 6);
  EXPECT_EQ(got, pattern);

  Bytes rtc128 = {0x01, 0x02, 0x03};
  engine.WriteRtc128(0x40, rtc128, 3);
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(rtc128, (Bytes{0x01, 0x02, 0x03}));  // the meter's echo
  engine.ReadRtc128(0x40, got, 3);
  EXPECT_EQ(Bytes(got.begin(), got.begin() + 3), rtc128);

  meter->Write(MemoryArea::DataFlash, 0x0000F123, pattern);
  engine.ReadDataFlash(0x0000F123, got, 6);
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(got, pattern);

  std::array<uint8_t, 64> security{};
  for (size_t i = 0; i < security.size(); ++i)
    security[i] = static_cast<uint8_t>(0xFF - i);
  engine.WriteSecurity(security);
  EXPECT_EQ(meter->Read(MemoryArea::Security, 0, 64), Bytes(security.begin(), security.end()));
  std::array<uint8_t, 64> back{};
  engine.ReadSecurity(back);
  EXPECT_EQ(back, security);

  engine.GDZWriteGmax(2, 40.0f);
  EXPECT_EQ(meter->Read(MemoryArea::Rtc2k, 208, 4), (Bytes{0x42, 0x20, 0x00, 0x00}));

  TSfrTek values;
  engine.GetSfrTek(values);
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_FLOAT_EQ(values.AsFloat(0), 3.25f);
  EXPECT_FLOAT_EQ(values.AsFloat(1), 1.75f);
  EXPECT_EQ(values.Fields[3], 300u);

  meter->SetUnlockStatus(7);
  std::string unlock;
  engine.UnlockWrite(unlock);
  EXPECT_EQ(unlock, "7");
  meter->SetCommandStatus(0x5A);
  EXPECT_EQ(engine.SendCmd(0x7777), 0x5A);
  EXPECT_EQ(engine.LastError(), lumOk);
}

TEST_F(PtyMeter3x, SetsTheMeterClock) {
  engine.SetEWrite(true);
  lum::SetLocalDateTimeSource([] { return LumDateTime{2019, 11, 30, 6, 9, 5, 3}; });
  engine.SetDateTime();
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(meter->Read(MemoryArea::Rtc128, 0, 10),
            (Bytes{0x03, 0, 0x05, 0, 0x09, 0, 0x07, 0x30, 0x11, 0x19}));
}

TEST_F(PtyMeter3x, WriteGateKeepsTheMeterUntouched) {
  const Bytes before = meter->Read(MemoryArea::Rtc2k, 0x0300, 4);
  engine.WriteRtc2k(0x0300, Bytes{1, 2, 3, 4}, 4);
  engine.WriteRAM(0x0300, Bytes{1, 2, 3, 4}, 4);
  engine.SetDateTime();
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(meter->Read(MemoryArea::Rtc2k, 0x0300, 4), before);
  EXPECT_TRUE(meter->Requests().empty());
}

// Each fault hits the first reply only: the engine must shrug it off on the
// next attempt, and the next operation must find a clean line.
struct FaultCase {
  const char* name;
  Fault fault;
  size_t requests;  // to get one good answer
};

Fault With(FaultKind kind, void (*adjust)(Fault&)) {
  Fault f = Hit(kind);
  adjust(f);
  return f;
}

const FaultCase kFaultCases[] = {
    {"Silence", Hit(FaultKind::Silence), 2},
    {"StrayBytes", With(FaultKind::Stray, [](Fault& f) { f.count = 5; }), 1},
    {"StrayStartByte", With(FaultKind::Stray, [](Fault& f) { f.count = 1, f.value = 0xAA; }), 2},
    {"Checksum", Hit(FaultKind::BadChecksum), 2},
    {"Complement", Hit(FaultKind::BadComplement), 2},
    {"Gap", With(FaultKind::Gap, [](Fault& f) { f.count = 3, f.ms = 500; }), 2},
    {"Cut", With(FaultKind::Cut, [](Fault& f) { f.count = 4; }), 2},
    {"Length249", With(FaultKind::LongLength, [](Fault& f) { f.value = 249; }), 2},
    {"LengthTooLong", With(FaultKind::LongLength, [](Fault& f) { f.value = 20; }), 2},
    {"Garbage", Hit(FaultKind::Garbage), 2},
    {"Delay", With(FaultKind::Delay, [](Fault& f) { f.ms = 500; }), 2},
};

class PtyMeter3xFault : public PtyMeter3x, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(PtyMeter3xFault, RecoversOnTheNextAttempt) {
  const FaultCase& c = GetParam();
  const Bytes expected = meter->Read(MemoryArea::Rtc2k, 124, 4);
  meter->AddFault(c.fault);
  Bytes got(4);
  engine.ReadRtc2k(124, got, 4);
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(meter->Requests().size(), c.requests);
  // Nothing of the faulty exchange leaks into the next one.
  std::string id;
  engine.GetDevID(id);
  EXPECT_EQ(id, "ZFK-31");
  EXPECT_EQ(meter->Requests().size(), c.requests + 1);
}

INSTANTIATE_TEST_SUITE_P(Faults, PtyMeter3xFault, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PtyMeter3x, LengthAbove248FailsEveryAttemptWithCodeThree) {
  Fault f = Hit(FaultKind::LongLength, 0);
  f.value = 255;
  meter->AddFault(f);
  engine.SetRepeatCount(2);
  Bytes got = {9, 9, 9, 9};
  engine.ReadRtc2k(124, got, 4);
  EXPECT_EQ(engine.LastError(), lumErrPacketSize);
  EXPECT_EQ(got, (Bytes{9, 9, 9, 9}));
  EXPECT_EQ(RequestsFor(RequestKind::ReadRtc2k), 2u);
}

TEST_F(PtyMeter3x, EndlessGarbageIsCutOffByTheStrayBound) {
  meter->AddFault(Hit(FaultKind::Garbage, 0));
  engine.SetRepeatCount(1);
  engine.SetPacketTimeout(500);  // bytes keep coming well within it
  const auto start = Clock::now();
  std::string id = "x";
  engine.GetDevID(id);
  EXPECT_EQ(engine.LastError(), lumErrRead);
  EXPECT_EQ(id, "");
  // 257 bytes at 19200 baud take about 134 ms, plus the 200 ms pause.
  EXPECT_LT(MsSince(start), 1500);
  meter->ClearFaults();
  engine.GetDevID(id);
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(id, "ZFK-31");
}

TEST_F(PtyMeter3x, CopiesStopAtTheCallersBuffer) {
  std::array<uint8_t, 8> buf{};
  buf.fill(0xEE);
  engine.ReadRtc2k(124, std::span(buf).first(2), 6);
  EXPECT_EQ(engine.LastError(), lumOk);
  const Bytes expected = meter->Read(MemoryArea::Rtc2k, 124, 2);
  EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 2), expected);
  EXPECT_EQ(Bytes(buf.begin() + 2, buf.end()), Bytes(6, 0xEE));
  buf.fill(0xEE);
  engine.ReadRAMP(0, buf.data(), 3);
  EXPECT_EQ(Bytes(buf.begin() + 3, buf.end()), Bytes(5, 0xEE));
}

TEST_F(PtyMeter3x, SilentMeterTakesTheExpectedTime) {
  meter->AddFault(Hit(FaultKind::Silence, 0));
  engine.SetRepeatCount(2);
  engine.SetPacketTimeout(100);
  const auto start = Clock::now();
  std::string id;
  engine.GetDevID(id);
  EXPECT_EQ(engine.LastError(), lumErrRead);
  EXPECT_EQ(RequestsFor(RequestKind::Identify), 2u);
  // 2 × (100 + 220) ms of polls and pauses, and a little for the system.
  EXPECT_GE(MsSince(start), 640);
  EXPECT_LT(MsSince(start), 1500);
}

TEST_F(PtyMeter3x, LineHangingUpFailsAndAReopenedLineWorks) {
  Fault f = Hit(FaultKind::HangUp);
  f.count = 3;
  meter->AddFault(f);
  engine.SetRepeatCount(2);
  std::string id;
  engine.GetDevID(id);
  EXPECT_NE(engine.LastError(), lumOk);
  EXPECT_EQ(id, "");
  // The meter comes back on a new line; the next read opens it afresh.
  const auto start = Clock::now();
  while (server->HangUps() < 1 && MsSince(start) < 1000)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(server->HangUps(), 1);
  port.Close();
  lum::BindSerialPortPath(kPort, server->DevicePath());
  engine.GetDevID(id);
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(id, "ZFK-31");
}

}  // namespace
