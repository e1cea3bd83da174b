// The bus scan over a real pseudo-terminal against a virtual bus, on real
// time: what it finds must be exactly what is there, under line faults too.
#include <gtest/gtest.h>

#include <chrono>

#include "app/core/ops/BusScan.h"
#include "comm/serial/SerialDevice.h"
#include "sim/MeterBus.h"
#include "sim/PtyMeterServer.h"

namespace {

using metersim::Fault;
using metersim::FaultKind;

struct Seen {
  uint8_t address;
  std::optional<uint8_t> second;
  ScanProtocol protocol;
  bool operator==(const Seen&) const = default;
};

class CancelAt : public ScanListener {
 public:
  explicit CancelAt(int address) : address_(address) {}
  void OnProgress(const ScanProgress& p) override { probes.push_back(p.address); }
  bool Cancelled() override { return !probes.empty() && probes.back() == address_; }
  std::vector<int> probes;

 private:
  int address_;
};

struct Bus {
  explicit Bus(const std::string& text) : Bus(metersim::MakeBusMeters(*metersim::ParseBus(text))) {}
  explicit Bus(std::vector<std::shared_ptr<metersim::VirtualMeter>> line)
      : meters(std::move(line)), server(metersim::MeterBus(meters)) {}
  bool Start() { return server.Start(); }
  std::vector<std::shared_ptr<metersim::VirtualMeter>> meters;
  metersim::PtyMeterServer server;
};

ScanOutcome Scan(const Bus& bus, int to, ScanListener& listener) {
  TBusScan scan;
  ScanRequest request;
  request.port.device = bus.server.DevicePath();
  request.port.name = "COM43";
  request.bauds = {9600};
  request.to = to;
  // Room for a virtual meter on a loaded machine; the slow meter's 500 ms is
  // still far beyond it.
  request.timeouts.packetMs = 100;
  return scan.Run(request, listener);
}

TEST(BusScan, FindsExactlyTheMetersThere) {
  struct Case {
    const char* name;
    const char* bus;
    std::optional<Fault> fault;  // on the first meter
    std::vector<Seen> expected;
  } cases[] = {
      {"demo bus",
       "zfk31@1,gdz1208@5,zfk36@7",
       {},
       {{1, {}, ScanProtocol::ThreeX},
        {7, {}, ScanProtocol::ThreeX},
        {5, {}, ScanProtocol::ModBus}}},
      {"two-node GDZ once", "gdz1207s-2@2", {}, {{2, 3, ScanProtocol::ThreeX}}},
      {"stray bytes before replies",
       "zfk31@1",
       metersim::MakeFault(FaultKind::Stray),
       {{1, {}, ScanProtocol::ThreeX}}},
      {"bad 3x checksum", "zfk31@1", metersim::MakeFault(FaultKind::BadChecksum), {}},
      {"bad ModBus CRC", "gdz1208@1", metersim::MakeFault(FaultKind::BadChecksum), {}},
      {"slow meter answers after the time-out",
       "zfk31@1",
       metersim::MakeFault(FaultKind::Delay),
       {}},
      {"second identification spoilt",
       "zfk31@1",
       Fault{FaultKind::BadChecksum, {}, metersim::RequestKind::Identify, {}, 1, 1},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bus bus(c.bus);
    if (c.fault) bus.meters.front()->AddFault(*c.fault);
    ASSERT_TRUE(bus.Start());
    ScanListener listener;
    const ScanOutcome outcome = Scan(bus, 7, listener);
    EXPECT_EQ(outcome.result, ScanResult::Done);
    std::vector<Seen> seen;
    for (const FoundMeter& m : outcome.meters) {
      seen.push_back({m.address, m.secondAddress, m.protocol});
      EXPECT_EQ(m.baud, 9600u);
      EXPECT_FALSE(m.identification.empty());
      EXPECT_FALSE(m.serial.empty()) << m.identification;
      EXPECT_FALSE(m.caption.empty()) << m.identification;
    }
    EXPECT_EQ(seen, c.expected);
  }
}

// Meters that misbehave as real ones do: two set to one address (serial
// numbers that collide, replies that overlap, one behind the other), one that
// misses every other request, noise ahead of every reply, a bad check. Each
// address is a meter with its serial number, an address conflict, or nothing.
TEST(BusScan, ReportsAddressConflictsAndFindsMetersUnderLineFaults) {
  using metersim::MeterModel;
  struct Member {
    MeterModel model;
    uint8_t address;
    const char* fault = nullptr;
    uint8_t serial = 0;   // low byte of the serial number (ZFK-31, GDZ-12.08); 0: the model's
    uint32_t lateMs = 0;  // turnaround beyond the usual
  };
  const auto conflict = FoundState::AddressConflict;
  const auto meter = FoundState::Meter;
  const struct {
    const char* name;
    std::vector<Member> line;
    std::vector<std::pair<uint8_t, FoundState>> expected;  // 3x first, then ModBus
  } cases[] = {
      {"two ZFK-31 at 3",
       {{MeterModel::Zfk31, 3, nullptr, 1},
        {MeterModel::Zfk31, 3, nullptr, 2},
        {MeterModel::Zfk36, 6},
        {MeterModel::Gdz1208, 5}},
       {{3, conflict}, {6, meter}, {5, meter}}},
      {"ZFK-31 and GDZ-12.07S at 3 overlap",
       {{MeterModel::Zfk31, 3}, {MeterModel::Gdz1207s, 3}, {MeterModel::Zfk36, 6}},
       {{3, conflict}, {6, meter}}},
      {"ZFK-36 behind ZFK-31",
       {{MeterModel::Zfk31, 3}, {MeterModel::Zfk36, 3, nullptr, 0, 40}},
       {{3, conflict}}},
      {"two GDZ-12.08 at 5",
       {{MeterModel::Zfk31, 1},
        {MeterModel::Gdz1208, 5, nullptr, 1},
        {MeterModel::Gdz1208, 5, nullptr, 2}},
       {{1, meter}, {5, conflict}}},
      {"every other request",
       {{MeterModel::Zfk31, 2, "silence:every=2"}, {MeterModel::Gdz1208, 4, "silence:every=2"}},
       {{2, meter}, {4, meter}}},
      {"stray bytes",
       {{MeterModel::Zfk36, 2, "stray:n=4"}, {MeterModel::Gdz1208, 4, "stray"}},
       {{2, meter}, {4, meter}}},
      {"stray bytes, bad check",
       {{MeterModel::Zfk31, 2, "stray:n=4"},
        {MeterModel::Zfk31, 2, "bad-checksum"},
        {MeterModel::Gdz1208, 4, "stray"},
        {MeterModel::Gdz1208, 4, "bad-checksum"}},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::shared_ptr<metersim::VirtualMeter>> meters;
    for (const Member& m : c.line) {
      metersim::MeterOptions options;
      options.turnaroundMs += m.lateMs;
      meters.push_back(std::make_shared<metersim::VirtualMeter>(m.model, m.address, options));
      if (m.fault) meters.back()->AddFault(*metersim::ParseFault(m.fault));
      const uint8_t serial[4] = {0, 0, 0, m.serial};
      if (m.serial)
        meters.back()->Write(m.model == MeterModel::Zfk31 ? metersim::MemoryArea::Rtc2k
                                                          : metersim::MemoryArea::Registers,
                             m.model == MeterModel::Zfk31 ? 124 : 2 * 315, serial);
    }
    Bus bus(std::move(meters));
    ASSERT_TRUE(bus.Start());
    ScanListener listener;
    std::vector<std::pair<uint8_t, FoundState>> found;
    for (const FoundMeter& m : Scan(bus, 6, listener).meters) {
      found.emplace_back(m.address, m.state);
      EXPECT_EQ(m.serial.empty(), m.state == conflict) << int(m.address) << " " << m.serial;
    }
    EXPECT_EQ(found, c.expected);
    for (const auto& vm : bus.meters)
      EXPECT_EQ(vm->WriteCount(), 0u);
  }
}

TEST(BusScan, CancelStopsBeforeTheNextProbe) {
  Bus bus("zfk31@1,zfk36@6");
  ASSERT_TRUE(bus.Start());
  CancelAt listener(3);
  const auto start = std::chrono::steady_clock::now();
  const ScanOutcome outcome = Scan(bus, 127, listener);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(outcome.result, ScanResult::Cancelled);
  EXPECT_EQ(listener.probes, (std::vector<int>{0, 1, 2, 3}));
  ASSERT_EQ(outcome.meters.size(), 1u);
  EXPECT_EQ(outcome.meters[0].address, 1);
}

TEST(BusScan, UnopenablePortIsReported) {
  TBusScan scan;
  ScanRequest request;
  request.port.device = "/nonexistent/tty";
  request.port.name = "COM43";
  ScanListener listener;
  const ScanOutcome outcome = scan.Run(request, listener);
  EXPECT_EQ(outcome.result, ScanResult::PortError);
  EXPECT_EQ(outcome.error, "Не удалось открыть порт COM43");
}

}  // namespace
