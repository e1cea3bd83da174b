// The connection and the Meter against virtual meters of every model over
// real pseudo-terminals: what identification makes of each model, that every
// operation reaches the node of its channel, that nothing is written outside
// a WriteScope, and that a ZFK-36 takes many coefficients in one block write.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <numeric>

#include "app/core/meter/Connection.h"
#include "app/core/ops/MeterSnapshotRead.h"
#include "sim/PtyMeterServer.h"

namespace {

using metersim::MemoryArea;
using metersim::MeterModel;
using metersim::RequestKind;
using metersim::VirtualMeter;

constexpr uint8_t kAddr = 9;

struct ModelCase {
  MeterModel sim;
  const char* model;
  uint8_t channels;
  bool clock;
};

const ModelCase kModels[] = {
    {MeterModel::Zfk31, "ZFK-31", 2, true},        {MeterModel::Zfk36, "ZFK-36", 2, true},
    {MeterModel::Gdz1207s, "GDZ-12.07S", 1, true}, {MeterModel::Gdz1207s2, "GDZ-12.07S", 2, true},
    {MeterModel::Gdz1208, "GDZ-12.08", 1, false},  {MeterModel::Gdz1208x2, "GDZ-12.08", 2, false},
};

struct Line {
  explicit Line(MeterModel model) : meter(std::make_shared<VirtualMeter>(model, kAddr, Options())) {
    started = server.Start();
  }
  static metersim::MeterOptions Options() {
    metersim::MeterOptions o;
    o.baud = 19200;
    return o;
  }
  Connected Connect() {
    Catalogue catalogue;
    // The ModBus meter does not answer the 3x identification: keep that wait short.
    catalogue.delays[1] = {50, 100, 1};
    return ::Connect({server.DevicePath(), "pty", 19200, kAddr, false}, catalogue);
  }
  // Every node's whole Rtc2k area and registers, to see what a write touched.
  std::vector<std::vector<uint8_t>> Memory() const {
    std::vector<std::vector<uint8_t>> nodes;
    for (size_t n = 0; n < meter->NodeCount(); ++n) {
      for (MemoryArea area : {MemoryArea::Rtc2k, MemoryArea::Registers})
        nodes.push_back(meter->Read(area, 0, metersim::MemoryAreaSize(area), n));
    }
    return nodes;
  }
  size_t Count(RequestKind kind, uint32_t length = 0) const {
    size_t n = 0;
    for (const auto& r : meter->Requests())
      n += r.forMe && r.kind == kind && (length == 0 || r.length == length);
    return n;
  }

  std::shared_ptr<VirtualMeter> meter;
  metersim::PtyMeterServer server{meter};
  bool started = false;
};

class MeterOfEveryModel : public ::testing::TestWithParam<ModelCase> {};

TEST_P(MeterOfEveryModel, IdentifiedOnceAndNamedByTheModelTable) {
  Line line(GetParam().sim);
  ASSERT_TRUE(line.started);
  Connected c = line.Connect();
  ASSERT_EQ(c.result, ConnectResult::Ok) << c.message << c.detail;
  Meter& m = *c.meter;
  EXPECT_EQ(m.Id().model, GetParam().model);
  EXPECT_FALSE(m.Id().caption.empty());
  EXPECT_EQ(m.Channels(), GetParam().channels);
  EXPECT_EQ(m.HasClock(), GetParam().clock);
  EXPECT_TRUE(m.Id().serial.empty());  // not asked for yet
  EXPECT_EQ(m.ReadSerial(), ValueState::Read);
  EXPECT_FALSE(m.Id().serial.empty());
  MeterClockBytes clock{};
  EXPECT_EQ(m.ReadClock(clock), GetParam().clock ? ValueState::Read : ValueState::NotRead);
  // One item at a time and the whole lists read the same bytes.
  const MeterSnapshot snap = TakeSnapshot(m, {});
  for (uint8_t ch = 1; ch <= m.Channels(); ++ch) {
    const Coefficient k3 = m.ReadCoefficient({CoefList::K, ch, 3});
    ASSERT_TRUE(k3.Read());
    EXPECT_EQ(k3, snap.channels[ch - 1u].k[3]) << "channel " << int{ch};
  }
  EXPECT_FALSE(c.connection->AnyWriteEnabled());
}

TEST_P(MeterOfEveryModel, AWriteReachesItsChannelsNodeAndOnlyInsideAScope) {
  Line line(GetParam().sim);
  ASSERT_TRUE(line.started);
  Connected c = line.Connect();
  ASSERT_EQ(c.result, ConnectResult::Ok) << c.message << c.detail;
  Meter& m = *c.meter;
  const uint8_t last = m.Channels();
  const std::vector<Coefficient> items = {CoefTarget(CoefList::K, last, 3, 0.75f)};

  // EWrite off: the drivers send nothing at all.
  m.WriteCoefficients(items);
  EXPECT_EQ(line.meter->WriteCount(), 0u);

  const auto before = line.Memory();
  {
    const WriteScope on(m);
    EXPECT_TRUE(c.connection->AnyWriteEnabled());
    EXPECT_EQ(m.WriteCoefficients(items), 1u);
  }
  EXPECT_FALSE(c.connection->AnyWriteEnabled());
  EXPECT_GT(line.meter->WriteCount(), 0u);
  EXPECT_EQ(m.ReadCoefficient({CoefList::K, last, 3}).stored, 0.75f);
  // Only the memory of the channel's node changed (the second node of a
  // two-node GDZ-12.07S for channel 2).
  const auto after = line.Memory();
  const size_t perNode = 2;
  for (size_t n = 0; n < after.size(); ++n) {
    const size_t node = n / perNode;
    const bool target = line.meter->NodeCount() == 1 || node == last - 1u;
    if (!target) EXPECT_EQ(after[n], before[n]) << "node " << node;
  }
  EXPECT_NE(after, before);
}

std::string CaseName(const ::testing::TestParamInfo<ModelCase>& info) {
  std::string name = metersim::MeterModelName(info.param.sim);
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Models, MeterOfEveryModel, ::testing::ValuesIn(kModels), CaseName);

// The block's 16-bit byte sum with its stored checksum read most significant
// byte first gives FFFF when the meter would take it.
bool BlockSealed(const std::vector<uint8_t>& block) {
  const uint16_t sum = std::accumulate(block.begin(), block.begin() + 144, uint16_t{0},
                                       [](uint16_t s, uint8_t b) { return uint16_t(s + b); });
  return uint16_t(sum + (block[144] << 8 | block[145])) == 0xFFFF;
}

TEST(Zfk36Meter, ManyCoefficientsGoInOneBlockReadAndOneBlockWrite) {
  Line line(MeterModel::Zfk36);
  ASSERT_TRUE(line.started);
  Connected c = line.Connect();
  ASSERT_EQ(c.result, ConnectResult::Ok);
  Meter& m = *c.meter;
  const std::vector<Coefficient> items = {
      CoefTarget(CoefList::K, 1, 0, 2.5f),   CoefTarget(CoefList::K, 1, 1, 1.25f),
      CoefTarget(CoefList::K, 2, 3, 0.5f),   CoefTarget(CoefList::Obr, 1, 5, 0.125f),
      CoefTarget(CoefList::Obr, 2, 9, 4.0f), CoefTarget(CoefList::K, 2, 9, 8.0f),
  };
  line.meter->ClearRequests();
  {
    const WriteScope on(m);
    EXPECT_EQ(m.WriteCoefficients(items), items.size());
  }
  // One read of the 146-byte block, then its twelve pieces.
  EXPECT_EQ(line.Count(RequestKind::ReadRtc2k, 146), 1u);
  EXPECT_EQ(line.meter->WriteCount(), 12u);
  for (const Coefficient& item : items)
    EXPECT_EQ(m.ReadCoefficient(item.ref).stored, item.stored)
        << (item.ref.list == CoefList::K ? "K" : "Obr") << int{item.ref.index};
  EXPECT_TRUE(BlockSealed(line.meter->Read(MemoryArea::Rtc2k, 1504, 146)));
}

TEST(Zfk36Meter, AResetIsOneBlockWriteToo) {
  Line line(MeterModel::Zfk36);
  ASSERT_TRUE(line.started);
  Connected c = line.Connect();
  ASSERT_EQ(c.result, ConnectResult::Ok);
  line.meter->ClearRequests();
  {
    const WriteScope on(*c.meter);
    const auto items = c.meter->ResetItems();
    EXPECT_EQ(c.meter->WriteCoefficients(items), items.size());
  }
  EXPECT_EQ(line.meter->WriteCount(), 12u);
  EXPECT_EQ(c.meter->ReadCoefficient({CoefList::K, 2, 1}).stored, 1.0f);
  EXPECT_EQ(c.meter->ReadCoefficient({CoefList::K, 1, 0}).stored, 0.0f);
  EXPECT_TRUE(BlockSealed(line.meter->Read(MemoryArea::Rtc2k, 1504, 146)));
}

TEST(Connect, TheTraceSaysWhatBecameOfEachAttempt) {
  struct Case {
    MeterModel sim;
    metersim::FaultKind fault;
    RequestKind request;
    const char* rejected;
  };
  const Case cases[] = {
      {MeterModel::Zfk31, metersim::FaultKind::BadChecksum, RequestKind::Identify,
       "3x, адрес 9, попытка 1 из 3: Неверная контрольная сумма пакета (код 5), повтор"},
      {MeterModel::Zfk36, metersim::FaultKind::Silence, RequestKind::Identify,
       "3x, адрес 9, попытка 1 из 3: Ошибка чтения из последовательного порта (код 2), повтор"},
      {MeterModel::Gdz1208, metersim::FaultKind::BadChecksum, RequestKind::Identify,
       "ModBus, адрес 9, попытка 1 из 3: Неверная контрольная сумма пакета (код 5), повтор"},
  };
  for (const Case& c : cases) {
    Line line(c.sim);
    ASSERT_TRUE(line.started);
    metersim::Fault fault = metersim::MakeFault(c.fault);
    fault.request = c.request;
    fault.times = 1;
    line.meter->AddFault(fault);
    std::vector<std::string> notes;
    Catalogue catalogue;
    catalogue.delays[1] = {50, 100, 1};
    catalogue.delays[1].NR = 3;
    const Connected conn =
        Connect({line.server.DevicePath(), "pty", 19200, kAddr, false}, catalogue,
                LineTrace({}, [&](std::string_view n) { notes.emplace_back(n); }));
    ASSERT_EQ(conn.result, ConnectResult::Ok) << c.rejected;
    const auto at = std::find(notes.begin(), notes.end(), c.rejected);
    ASSERT_NE(at, notes.end()) << c.rejected << "\nfirst note: " << (notes.empty() ? "" : notes[0]);
    ASSERT_NE(at + 1, notes.end());
    EXPECT_NE(at[1].find("попытка 2 из 3: ответ принят"), std::string::npos) << at[1];
  }
}

TEST(Connect, FailuresAreTypedWithTheirReasons) {
  Catalogue catalogue;
  Connected none = Connect({"", "", 9600, 0, false}, catalogue);
  EXPECT_EQ(none.result, ConnectResult::PortError);
  EXPECT_EQ(none.message, std::string(kPortOpenError));
  EXPECT_NE(none.detail.find("Порт не выбран"), std::string::npos) << none.detail;

  Connected missing = Connect({"/dev/calibrate-no-such-port", "COM9", 9600, 0, false}, catalogue);
  EXPECT_EQ(missing.result, ConnectResult::PortError);
  EXPECT_EQ(missing.message, std::string(kPortOpenError) + "COM9");
  EXPECT_FALSE(missing.detail.empty());
  EXPECT_EQ(missing.meter, nullptr);

  // A line where nobody answers: not found, with what the line did.
  Line line(MeterModel::Zfk31);
  ASSERT_TRUE(line.started);
  catalogue.delays[1] = {20, 50, 1};
  Connected silent = Connect({line.server.DevicePath(), "pty", 19200, 77, false}, catalogue);
  EXPECT_EQ(silent.result, ConnectResult::NotFound);
  EXPECT_EQ(silent.message, std::string(kNotFoundError));
  EXPECT_FALSE(silent.detail.empty());
}

}  // namespace
