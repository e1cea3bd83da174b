// Every read path against a virtual meter of its model: the fields it writes,
// the scaling of each model, the fields it leaves alone, and the requests it
// makes.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "ReadTestUtil.h"

namespace {

using namespace readtest;
using metersim::MeterModel;  // the virtual meters' models, not the core's

struct PathCase {
  const char* name;
  MeterModel model;
  std::function<void(VirtualMeter&)> setUp;  // values that tell the formulas apart
  ReadPath path;
  const char* identification;
  const char* caption;
  const char* serial;
  // Ek00, Ek10, Ek01, Ek11; nullptr for a field the path does not write.
  const char* coefficients[4];
  bool record;
};

const PathCase kPaths[] = {
    {"Zfk31",
     MeterModel::Zfk31,
     [](VirtualMeter& m) {
       PutBE(m, 204, 50.0f);     // Gmax 1
       PutBE(m, 1792, 1000.0f);  // K0 1: shown as K0 * Gmax / 26214
       PutBE(m, 208, 20.0f);
       PutBE(m, 1796, -524.28f);
     },
     ReadPath::Zfk31,
     "ZFK-31",
     "ЗФК-31",
     "310245",
     {" 1.90738", " 1.01250", "-0.40000", " 0.98750"},
     true},
    {"Zfk36",
     MeterModel::Zfk36,
     [](VirtualMeter& m) {
       PutBE(m, 308, 3.0f);  // Gmax 1: K0 * Gmax, no division
       PutBE(m, 1504, 1.5f);
     },
     ReadPath::Zfk36,
     "ZFK-36",
     "Прибор",
     "360517",
     {" 4.50000", " 1.00420", "-0.09450", " 0.99680"},
     true},
    {"GdzSingleNode",
     MeterModel::Gdz1207s,
     [](VirtualMeter& m) {
       PutLE(m, 16, 12.5f);  // floats least significant byte first
       PutLE(m, 256, 0.5f);
     },
     ReadPath::GdzSingle,
     "GDZ25",
     "ГДЗ-12.05",
     "07120458",
     {" 6.25000", " 1.01500", nullptr, nullptr},
     false},
    {"GdzTwoNodes",
     MeterModel::Gdz1207s2,
     [](VirtualMeter& m) { m.Write(MemoryArea::Rtc2k, 0, std::vector<uint8_t>(8, 'X'), 1); },
     ReadPath::GdzDouble,
     "GDZ27",
     "ГДЗ-12.07",
     "07120458",  // the first node's
     {" 0.03100", " 1.01500", "-0.03520", " 0.99200"},
     true},
    {"ModBusOneChannel",
     MeterModel::Gdz1208,
     [](VirtualMeter& m) {
       m.SetRegister(370, 10000);  // K0, one signed register
       PutRegFloat(m, 299, 200.0f);
     },
     ReadPath::ModBus,
     "BRC",
     "БРЦ-АКС",
     "120845",
     {" 0.29802", " 1.00663", nullptr, nullptr},
     true},
    {"ModBusTwoChannels",
     MeterModel::Gdz1208x2,
     [](VirtualMeter& m) {
       m.SetRegister(370, 10000);
       m.SetRegister(290, static_cast<uint16_t>(-20000));
       PutRegFloat(m, 291, 2.0e-7f);
       PutRegFloat(m, 299, 200.0f);  // scales both channels
       PutRegFloat(m, 301, 1.0f);    // channel 2's own Gmax is not used
     },
     ReadPath::ModBus,
     "TGDZ2",
     "ГДЗ-12.07",
     "120845",
     {" 0.29802", " 1.00663", "-0.59605", " 1.34218"},
     true},
};

void PrintTo(const PathCase& c, std::ostream* os) {
  *os << c.name;
}

class ReadPaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(ReadPaths, ShowWhatTheMeterHolds) {
  const PathCase& c = GetParam();
  auto meter = MakeMeter(c.model, 5);
  c.setUp(*meter);
  ReadBench bench(meter);
  const MeterReading outcome = bench.Run(5);
  const RecordingView& v = bench.view;

  EXPECT_EQ(outcome.result, ReadResult::Ok);
  EXPECT_EQ(outcome.path, c.path);
  EXPECT_EQ(outcome.identification, c.identification);
  EXPECT_TRUE(v.errors.empty());
  EXPECT_EQ(v.caption, c.caption);
  EXPECT_EQ(v.Field(ReadField::ELicNo), c.serial);
  const ReadField fields[] = {ReadField::Ek00, ReadField::Ek10, ReadField::Ek01, ReadField::Ek11};
  for (size_t i = 0; i < 4; ++i) {
    if (c.coefficients[i])
      EXPECT_EQ(v.Field(fields[i]), c.coefficients[i]) << i;
    else
      EXPECT_FALSE(v.Field(fields[i]).has_value()) << i;
  }
  EXPECT_TRUE(v.versionVisible);
  EXPECT_EQ(v.Field(ReadField::EVer), "v1.00");
  EXPECT_EQ(v.Field(ReadField::ECRC), "00000000");
  if (c.record) {
    EXPECT_EQ(v.Field(ReadField::EClbLic), "1234, v.1.05");
    EXPECT_EQ(v.Field(ReadField::EClbDate), "16.07.22 10:30:00");
  } else {
    EXPECT_EQ(v.Field(ReadField::EClbLic), kNoData);
    EXPECT_EQ(v.Field(ReadField::EClbDate), kNoData);
  }
  EXPECT_FALSE(PortOpen(bench.read));
  EXPECT_EQ(v.refreshStates, (std::vector<bool>{false, true}));
  // The window never writes to a meter.
  for (const auto& r : meter->Requests())
    EXPECT_FALSE(r.writes) << metersim::RequestKindName(r.kind);
}

INSTANTIATE_TEST_SUITE_P(EveryPath, ReadPaths, ::testing::ValuesIn(kPaths),
                         [](const auto& info) { return std::string(info.param.name); });

// The requests of each path, in order: which driver asked what, where.
std::vector<std::string> Trail(const VirtualMeter& meter) {
  std::vector<std::string> out;
  for (const auto& r : meter.Requests()) {
    if (!r.forMe) continue;
    out.push_back(std::string(metersim::RequestKindName(r.kind)) + "@" + std::to_string(r.address) +
                  ":" + std::to_string(r.start) + "/" + std::to_string(r.length));
  }
  return out;
}

TEST(ReadPathRequests, Zfk31ReadsGmaxBeforeEachK0AndTheRecordLast) {
  auto meter = MakeMeter(MeterModel::Zfk31, 3);
  ReadBench bench(meter);
  bench.Run(3);
  EXPECT_EQ(Trail(*meter), (std::vector<std::string>{
                               "id@3:0/0", "rtc2k-read@3:124/4",  // serial number
                               "rtc2k-read@3:204/4", "rtc2k-read@3:1792/4", "rtc2k-read@3:1816/4",
                               "rtc2k-read@3:208/4", "rtc2k-read@3:1796/4", "rtc2k-read@3:1820/4",
                               "rtc2k-read@3:32/16"}));
}

TEST(ReadPathRequests, Zfk36ReadsItsGmaxAndRecordAddresses) {
  auto meter = MakeMeter(MeterModel::Zfk36, 3);
  ReadBench bench(meter);
  bench.Run(3);
  const auto trail = Trail(*meter);
  ASSERT_EQ(trail.size(), 9u);
  EXPECT_EQ(trail[2], "rtc2k-read@3:308/4");
  EXPECT_EQ(trail[5], "rtc2k-read@3:312/4");
  EXPECT_EQ(trail[8], "rtc2k-read@3:2016/16");
}

TEST(ReadPathRequests, TwoNodeGdzReadsTheSecondChannelAndRecordAtTheNextAddress) {
  auto meter = MakeMeter(MeterModel::Gdz1207s2, 9);
  ReadBench bench(meter);
  bench.Run(9);
  const auto trail = Trail(*meter);
  // id, then the serial number (the driver checks the id first), then node 9
  // and node 10, and the record of node 10.
  EXPECT_EQ(trail, (std::vector<std::string>{
                       "id@9:0/0", "id@9:0/0", "rtc2k-read@9:0/8", "rtc2k-read@9:16/4",
                       "rtc2k-read@9:256/4", "rtc2k-read@9:260/4", "rtc2k-read@10:16/4",
                       "rtc2k-read@10:256/4", "rtc2k-read@10:260/4", "rtc2k-read@10:496/16"}));
  // The address stays moved on; the next read sets it again.
  EXPECT_EQ(bench.read.LastConnection()->Gdz1207s().NetAddr(), 10);
  meter->ClearRequests();
  bench.Run(9);
  EXPECT_EQ(Trail(*meter)[0], "id@9:0/0");
  EXPECT_EQ(HeardAt(*meter, RequestKind::ReadRtc2k, 16, 9), 1u);
}

TEST(ReadPathRequests, ModBusPathAsksTheMeterOverBothProtocols) {
  auto meter = MakeMeter(MeterModel::Gdz1208x2, 4);
  ReadBench bench(meter);
  bench.Run(4);
  std::vector<std::string> modbus;
  for (const auto& r : meter->Requests()) {
    if (r.protocol == metersim::Protocol::ThreeX) {
      // Only the 3x identification went out first, to no avail.
      EXPECT_EQ(r.kind, RequestKind::Identify);
      EXPECT_TRUE(modbus.empty());
      continue;
    }
    modbus.push_back(std::to_string(r.function) + ":" + std::to_string(r.start) + "/" +
                     std::to_string(r.length));
  }
  EXPECT_EQ(modbus, (std::vector<std::string>{"17:0/0", "3:320/2", "3:315/2", "3:299/2", "3:370/2",
                                              "3:371/2", "3:290/2", "3:291/2", "3:171/8"}));
}

TEST(ReadFormatting, DecimalSeparatorWidthAndLongValues) {
  auto meter = MakeMeter(MeterModel::Zfk31);
  PutBE(*meter, 1816, 12345.678f);  // Ku 1: wider than eight characters
  PutBE(*meter, 1820, -0.000001f);  // rounds to a negative zero
  PutBE(*meter, 204, 3e38f);        // Gmax 1 and K0 1 near the float's limit
  PutBE(*meter, 1792, 3e38f);
  ReadBench bench(meter);
  bench.read.SetDecimalSeparator(',');
  bench.Run();
  const RecordingView& v = bench.view;
  EXPECT_EQ(v.Field(ReadField::Ek10), "12345,67773");
  EXPECT_EQ(v.Field(ReadField::Ek11), "-0,00000");
  EXPECT_EQ(v.Field(ReadField::Ek01), "-0,10000");
  // The whole product, every digit of it, not a prefix.
  char expected[512];
  std::snprintf(expected, sizeof expected, "%8.5f", double{3e38f} * double{3e38f} / 26214.0);
  std::string withComma = expected;
  withComma[withComma.find('.')] = ',';
  EXPECT_GT(withComma.size(), 70u);
  EXPECT_EQ(v.Field(ReadField::Ek00), withComma);
}

TEST(ReadFormatting, ValuesThatAreNoNumbersAreShownNotHidden) {
  auto meter = MakeMeter(MeterModel::Zfk31);
  // Erased memory reads as all ones: a NaN.
  meter->Write(MemoryArea::Rtc2k, 1816, std::vector<uint8_t>(4, 0xFF));
  PutBE(*meter, 1820, std::numeric_limits<float>::infinity());
  ReadBench bench(meter);
  bench.Run();
  const auto ku1 = bench.view.Field(ReadField::Ek10);
  ASSERT_TRUE(ku1.has_value());
  EXPECT_NE(ku1->find("nan"), std::string::npos) << *ku1;
  EXPECT_EQ(bench.view.Field(ReadField::Ek11), "     inf");
}

}  // namespace
