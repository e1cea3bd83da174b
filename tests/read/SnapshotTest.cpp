// The snapshot against virtual meters of every model: what it says equals the
// meters' memory byte for byte, it reads each coefficient area in as few
// requests as the model allows, it never writes, and its JSON reads back to
// the same snapshot.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "ReadTestUtil.h"
#include "app/core/ops/MeterSnapshotRead.h"
#include "app/core/values/MeterSnapshotJson.h"
#include "support/SnapshotOracle.h"

namespace {

using namespace readtest;
using metersim::MeterModel;  // the virtual meters' models, not the core's

constexpr uint8_t kAddr = 3;

struct Area {
  RequestKind kind;
  uint32_t start, length;
  uint8_t address;
};

struct ModelCase {
  MeterModel model;
  ReadPath path;
  std::vector<Area> coefficientReads;  // every request that touches a coefficient
};

const ModelCase kModels[] = {
    {MeterModel::Zfk31, ReadPath::Zfk31, {{RequestKind::ReadRtc2k, 1792, 160, kAddr}}},
    {MeterModel::Zfk36, ReadPath::Zfk36, {{RequestKind::ReadRtc2k, 1504, 146, kAddr}}},
    {MeterModel::Gdz1207s, ReadPath::GdzSingle, {{RequestKind::ReadRtc2k, 256, 72, kAddr}}},
    {MeterModel::Gdz1207s2,
     ReadPath::GdzDouble,
     {{RequestKind::ReadRtc2k, 256, 72, kAddr}, {RequestKind::ReadRtc2k, 256, 72, kAddr + 1}}},
    {MeterModel::Gdz1208, ReadPath::ModBus, {{RequestKind::ReadRegisters, 338, 35, kAddr}}},
    {MeterModel::Gdz1208x2,
     ReadPath::ModBus,
     {{RequestKind::ReadRegisters, 338, 35, kAddr},
      {RequestKind::ReadRegisters, 189, 16, kAddr},
      {RequestKind::ReadRegisters, 213, 16, kAddr},
      {RequestKind::ReadRegisters, 290, 3, kAddr}}},
};

// The requests that read any coefficient of the model.
std::vector<RequestRecord> CoefficientReads(const VirtualMeter& meter) {
  const bool modbus = oracle::IsGdz1208(meter.Model());
  std::vector<RequestRecord> out;
  for (const RequestRecord& r : meter.Requests()) {
    if (!r.forMe || (r.kind != RequestKind::ReadRtc2k && r.kind != RequestKind::ReadRegisters))
      continue;
    bool coefficient = false;
    for (uint32_t i = 0; i <= 9; ++i) {
      for (bool obr : {false, true}) {
        const uint32_t at = oracle::CoefPlace(meter.Model(), 0, obr, i).at / (modbus ? 2 : 1);
        const uint32_t at2 = oracle::CoefPlace(meter.Model(), 1, obr, i).at / (modbus ? 2 : 1);
        for (uint32_t a : {at, at2})
          coefficient = coefficient || (a >= r.start && a < r.start + r.length);
      }
    }
    if (coefficient) out.push_back(r);
  }
  return out;
}

MeterSnapshot RoundTrip(const MeterSnapshot& s) {
  std::string error;
  const auto back = SnapshotFromJson(Json::parse(DumpJson(SnapshotToJson(s))), error);
  EXPECT_TRUE(back) << error;
  return back.value_or(MeterSnapshot{});
}

class Snapshot : public ::testing::TestWithParam<ModelCase> {};

TEST_P(Snapshot, EqualsTheMetersMemoryInFewReadsWithoutWriting) {
  const ModelCase& c = GetParam();
  ReadBench bench(MakeMeter(c.model, kAddr));
  const MeterSnapshot s = TakeSnapshot(bench.PortAt(kAddr), bench.read.GetCatalogue());

  EXPECT_EQ(s.path, c.path);
  oracle::ExpectSnapshotOf(s, bench.Meter());
  EXPECT_FALSE(s.AnyFailed());
  EXPECT_EQ(bench.OpenDevices(), 0);  // the port is let go
  for (const RequestRecord& r : bench.Meter().Requests())
    EXPECT_FALSE(r.writes) << metersim::RequestKindName(r.kind) << " at " << r.start;

  const auto reads = CoefficientReads(bench.Meter());
  ASSERT_EQ(reads.size(), c.coefficientReads.size());
  for (size_t i = 0; i < reads.size(); ++i) {
    EXPECT_EQ(reads[i].start, c.coefficientReads[i].start);
    EXPECT_EQ(reads[i].length, c.coefficientReads[i].length);
    EXPECT_EQ(reads[i].address, c.coefficientReads[i].address);
  }
  EXPECT_EQ(RoundTrip(s), s);
}

INSTANTIATE_TEST_SUITE_P(Models, Snapshot, ::testing::ValuesIn(kModels), [](const auto& info) {
  std::string name = metersim::MeterModelName(info.param.model);
  std::erase(name, '-');
  return name;
});

// A failed request costs only the items it carries; the rest are still read.
TEST(SnapshotFaults, AFailedRequestFailsOnlyItsItems) {
  struct Case {
    MeterModel model;
    const char* fault;
    size_t failedCoefficients;  // of both channels, K and Obr lists together
    bool clockFails;
  };
  const Case cases[] = {
      {MeterModel::Zfk36, "silence:kind=rtc2k-read,start=1504", 40, false},
      {MeterModel::Gdz1208x2, "exception:kind=read-registers,start=213", 8, false},
      {MeterModel::Zfk31, "silence:kind=rtc128-read", 0, true},
      // Well-formed replies with less than was asked for: nothing taken from them.
      {MeterModel::Zfk31, "short-reply:kind=rtc2k-read,start=1792,n=60", 40, false},
      {MeterModel::Gdz1208x2, "short-reply:kind=read-registers,start=338,n=2", 20, false},
      {MeterModel::Gdz1207s, "short-reply:kind=rtc128-read,n=1", 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    ReadBench bench(MakeMeter(c.model, kAddr));
    bench.Meter().AddFault(*metersim::ParseFault(c.fault));
    const MeterSnapshot s = TakeSnapshot(bench.PortAt(kAddr), bench.read.GetCatalogue());
    size_t failed = 0;
    for (const SnapshotChannel& ch : s.channels)
      for (size_t i = 0; i < 10; ++i)
        failed += (ch.k[i].state == ValueState::Failed) + (ch.obr[i].state == ValueState::Failed);
    EXPECT_EQ(failed, c.failedCoefficients);
    EXPECT_EQ(s.clock.state == ValueState::Failed, c.clockFails);
    EXPECT_TRUE(s.AnyFailed());
    EXPECT_EQ(s.serialState, ValueState::Read);
    EXPECT_EQ(s.record.state, ValueState::Read);
    EXPECT_EQ(RoundTrip(s), s);
  }
}

TEST(SnapshotFaults, NoMeterAndNoPort) {
  ReadBench bench(MakeMeter(MeterModel::Zfk31, kAddr));
  Catalogue& catalogue = bench.read.GetCatalogue();
  catalogue.delays[1] = {50, 50, 1};
  EXPECT_EQ(TakeSnapshot(bench.PortAt(kAddr + 5), catalogue).result, ReadResult::NotFound);
  bench.port.device = "/nonexistent/calibrate-tty";
  EXPECT_EQ(TakeSnapshot(bench.PortAt(kAddr), catalogue).result, ReadResult::PortError);
}

// The meter's firmware text against firmware.ini's reference.
TEST(SnapshotFirmware, ComparedOnlyWithAConfiguredVersion) {
  struct Case {
    const char* codedVer;  // nullptr: the row as built in
    bool crcOnly;
    FirmwareCheck check;
  };
  const Case cases[] = {
      {nullptr, false, FirmwareCheck::Placeholder},
      {nullptr, true, FirmwareCheck::Placeholder},  // a CRC alone leaves the version a placeholder
      {"#d$bc", false, FirmwareCheck::Match},       // v3.12, as the meter says "ZFK-31 v3.12"
      {"v3.012", false, FirmwareCheck::Match},
      {"#d$bd", false, FirmwareCheck::Mismatch},
      {"#xyz", false, FirmwareCheck::Unreadable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codedVer ? c.codedVer : "built-in");
    ReadBench bench(MakeMeter(MeterModel::Zfk31, kAddr));
    for (TVerRecord& row : bench.read.GetCatalogue().verTable) {
      if (row.DevID != "ZFK-31") continue;
      row.Configured = c.codedVer || c.crcOnly;
      row.VersionConfigured = c.codedVer != nullptr;
      if (c.codedVer) row.CodedVer = c.codedVer;
    }
    const MeterSnapshot s = TakeSnapshot(bench.PortAt(kAddr), bench.read.GetCatalogue());
    EXPECT_EQ(s.firmwareCheck, c.check);
  }
  EXPECT_EQ(CompareFirmware("01.05", "v1.05"), FirmwareCheck::Match);
  EXPECT_EQ(CompareFirmware("GDZ v1.07", "v1.7.1"), FirmwareCheck::Mismatch);
}

TEST(SnapshotJson, KeepsWhatNumbersCannotAndRefusesOtherDocuments) {
  MeterSnapshot s;
  s.path = ReadPath::Zfk31;
  s.identification = "ZFK-31 \xC8";  // a Cyrillic letter in the meter's code page
  s.channels[0].present = true;
  s.channels[0].k[2] = {{CoefList::K, 1, 2},
                        ValueState::Read,
                        std::bit_cast<float>(0x7FC01234u),
                        {0x7F, 0xC0, 0x12, 0x34}};
  s.channels[0].obr[3].state = ValueState::Failed;
  s.clock = {ValueState::Read, {0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0xFF}};
  const Json j = SnapshotToJson(s);
  EXPECT_TRUE(j["channels"][0]["k"][2]["stored"].is_null());  // a NaN is no JSON number
  EXPECT_EQ(j["channels"][0]["k"][2]["bits"], "7FC01234");
  EXPECT_EQ(j["clock"]["valid"], false);
  EXPECT_TRUE(j["channels"][1].is_null());
  const MeterSnapshot back = RoundTrip(s);
  EXPECT_EQ(std::bit_cast<uint32_t>(back.channels[0].k[2].stored), 0x7FC01234u);
  EXPECT_EQ(back.identification, s.identification);
  EXPECT_EQ(back.clock, s.clock);

  const std::pair<const char*, const char*> bad[] = {
      {"\"schema\"", "2"},  // a later schema
      {"\"raw\"", "\"7FC0\""},
      {"\"state\"", "\"maybe\""},
      {"\"started\"", "\"yesterday\""},
  };
  for (const auto& [key, value] : bad) {
    std::string text = DumpJson(j);
    const size_t at = text.find(key) + std::string(key).size() + 1;
    text.replace(at, text.find_first_of(",}", at) - at, value);
    std::string error;
    EXPECT_FALSE(SnapshotFromJson(Json::parse(text), error)) << text;
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
