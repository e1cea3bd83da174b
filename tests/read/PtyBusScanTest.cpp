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
  explicit Bus(const std::string& text)
      : meters(metersim::MakeBusMeters(*metersim::ParseBus(text))),
        server(metersim::MeterBus(meters)) {}
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

// A line whose meters misbehave as real ones do: two set to one address, one
// that misses every other request, noise ahead of every reply. What the scan
// reports at each address: a meter (with its serial number) or an address
// conflict, and nothing where nothing whole and alone answered.
TEST(BusScan, ReportsAddressConflictsAndFindsMetersUnderLineFaults) {
  using metersim::MeterModel;
  struct Member {
    MeterModel model;
    uint8_t address;
    const char* fault = nullptr;
    uint32_t serial = 0;  // 0: the model's own
    uint32_t lateMs = 0;  // turnaround beyond the usual
  };
  struct Found {
    uint8_t address;
    ScanProtocol protocol;
    FoundState state;
    bool operator==(const Found&) const = default;
  };
  const auto x3 = ScanProtocol::ThreeX;
  const auto mb = ScanProtocol::ModBus;
  const auto meter = FoundState::Meter;
  const auto conflict = FoundState::AddressConflict;
  const struct {
    const char* name;
    std::vector<Member> line;
    std::vector<Found> expected;
  } cases[] = {
      {"two ZFK-31 at 3, serial numbers collide",
       {{MeterModel::Zfk31, 3, nullptr, 111},
        {MeterModel::Zfk31, 3, nullptr, 222},
        {MeterModel::Zfk36, 6},
        {MeterModel::Gdz1208, 5}},
       {{3, x3, conflict}, {6, x3, meter}, {5, mb, meter}}},
      {"ZFK-31 and GDZ-12.07S at 3, replies overlap",
       {{MeterModel::Zfk31, 3}, {MeterModel::Gdz1207s, 3}, {MeterModel::Zfk36, 6}},
       {{3, x3, conflict}, {6, x3, meter}}},
      {"ZFK-36 at 3 answers behind the ZFK-31",
       {{MeterModel::Zfk31, 3}, {MeterModel::Zfk36, 3, nullptr, 0, 40}},
       {{3, x3, conflict}}},
      {"two GDZ-12.08 at 5",
       {{MeterModel::Zfk31, 1},
        {MeterModel::Gdz1208, 5, nullptr, 111},
        {MeterModel::Gdz1208, 5, nullptr, 222}},
       {{1, x3, meter}, {5, mb, conflict}}},
      {"answers every other request",
       {{MeterModel::Zfk31, 2, "silence:every=2"}, {MeterModel::Gdz1208, 4, "silence:every=2"}},
       {{2, x3, meter}, {4, mb, meter}}},
      {"stray bytes before every reply",
       {{MeterModel::Zfk36, 2, "stray:n=4"}, {MeterModel::Gdz1208, 4, "stray"}},
       {{2, x3, meter}, {4, mb, meter}}},
      {"stray bytes, then a bad check",
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
      auto vm = std::make_shared<metersim::VirtualMeter>(m.model, m.address, options);
      if (m.fault) vm->AddFault(*metersim::ParseFault(m.fault));
      const uint8_t serial[4] = {
          static_cast<uint8_t>(m.serial >> 24), static_cast<uint8_t>(m.serial >> 16),
          static_cast<uint8_t>(m.serial >> 8), static_cast<uint8_t>(m.serial)};
      if (m.serial && m.model == MeterModel::Zfk31)
        vm->Write(metersim::MemoryArea::Rtc2k, 124, serial);
      if (m.serial && m.model == MeterModel::Gdz1208)
        vm->Write(metersim::MemoryArea::Registers, 2 * 315, serial);
      meters.push_back(vm);
    }
    metersim::PtyMeterServer server{metersim::MeterBus(meters)};
    ASSERT_TRUE(server.Start());
    ScanListener listener;
    TBusScan scan;
    ScanRequest request;
    request.port.device = server.DevicePath();
    request.bauds = {9600};
    request.to = 6;
    request.timeouts.packetMs = 100;
    const ScanOutcome outcome = scan.Run(request, listener);
    std::vector<Found> found;
    for (const FoundMeter& m : outcome.meters) {
      found.push_back({m.address, m.protocol, m.state});
      // Never a meter without its serial number, never a conflict with one.
      EXPECT_EQ(m.serial.empty(), m.state == conflict) << int(m.address) << " " << m.serial;
    }
    EXPECT_EQ(found, c.expected);
    for (const auto& vm : meters)
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
