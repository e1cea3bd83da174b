// The calibration record as the window shows it, and what a read leaves of the
// previous one: fields its path does not write, the two-node meter at the top
// address, the ModBus layout switch.
#include <gtest/gtest.h>

#include "ReadTestUtil.h"

namespace {

using namespace readtest;
using metersim::MeterModel;  // the virtual meters' models, not the core's

struct RecordCase {
  const char* name;
  std::vector<uint8_t> record;
  const char* licence;
  const char* date;
};

const RecordCase kRecords[] = {
    {"Sealed", Record("C217AB9Z", {0x24, 0x12, 0x31, 0x23, 0x59, 0x58}), "AB9Z, v.2.17",
     "24.12.31 23:59:58"},
    // The seal is in the meters' code page; bytes 8 and 9 are not shown.
    {"CyrillicSeal", Record("C105\xCB\xC8\xD6\x31", {0x16, 0x07, 0x22, 0x10, 0x30, 0x00}),
     "ЛИЦ1, v.1.05", "16.07.22 10:30:00"},
    // Not BCD: shown as the hexadecimal digits they are.
    {"DateNotBcd", Record("C1051234", {0xAB, 0x0C, 0xFF, 0x00, 0x7F, 0x99}), "1234, v.1.05",
     "ab.0c.ff 00:7f:99"},
    {"LowerCaseMark", Record("c1051234", {0x16, 0x07, 0x22, 0x10, 0x30, 0x00}), "Ошибка в данных",
     ""},
    {"Erased", std::vector<uint8_t>(16, 0xFF), "Ошибка в данных", ""},
    {"Zeros", std::vector<uint8_t>(16, 0x00), "Ошибка в данных", ""},
};

void PrintTo(const RecordCase& c, std::ostream* os) {
  *os << c.name;
}

class RecordDisplay : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RecordDisplay, OnEveryModelThatKeepsOne) {
  const RecordCase& c = GetParam();
  std::vector<uint8_t> withBytes8And9 = c.record;
  withBytes8And9[8] = 'Q';
  withBytes8And9[9] = 'R';
  struct Where {
    MeterModel model;
    uint32_t address;
    size_t node;
  };
  for (const Where& w : {Where{MeterModel::Zfk31, 32, 0}, Where{MeterModel::Zfk36, 2016, 0},
                         Where{MeterModel::Gdz1207s2, 496, 1}, Where{MeterModel::Gdz1208, 0, 0}}) {
    auto meter = MakeMeter(w.model);
    if (w.model == MeterModel::Gdz1208)
      meter->Write(MemoryArea::Registers, 2 * 171, withBytes8And9);
    else
      meter->Write(MemoryArea::Rtc2k, w.address, withBytes8And9, w.node);
    ReadBench bench(meter);
    bench.Run();
    EXPECT_EQ(bench.view.Field(ReadField::EClbLic), c.licence) << metersim::MeterModelName(w.model);
    EXPECT_EQ(bench.view.Field(ReadField::EClbDate), c.date) << metersim::MeterModelName(w.model);
  }
}

INSTANTIATE_TEST_SUITE_P(Records, RecordDisplay, ::testing::ValuesIn(kRecords),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RecordDisplay, NoRecordReadShowsNoDataInBothFields) {
  // Single-node GDZ: no record is read even though the meter keeps one.
  ReadBench bench(MakeMeter(MeterModel::Gdz1207s));
  bench.Run();
  EXPECT_EQ(bench.view.Field(ReadField::EClbLic), kNoData);
  EXPECT_EQ(bench.view.Field(ReadField::EClbDate), kNoData);
  EXPECT_EQ(Heard(bench.Meter(), RequestKind::ReadRtc2k).size(), 4u);  // serial, Gmax, K0, Ku
}

TEST(RecordDisplay, ARecordIsNeverCarriedOverFromTheReadBefore) {
  ReadBench bench(MakeMeter(MeterModel::Zfk31));
  bench.Run();
  ASSERT_EQ(bench.view.Field(ReadField::EClbLic), "1234, v.1.05");
  // The next meter's record read fails: its buffer starts from zeros again,
  // and the flag from false.
  auto silent = MakeMeter(MeterModel::Zfk31);
  silent->AddFault(*metersim::ParseFault("silence:kind=rtc2k-read,start=32"));
  bench.Use(silent);
  bench.Run();
  EXPECT_EQ(bench.view.Field(ReadField::EClbLic), kNoData);
}

TEST(ReadLeftovers, ASingleNodeMeterAfterATwoChannelOneKeepsTheSecondChannel) {
  ReadBench bench(MakeMeter(MeterModel::Zfk31));
  bench.Run();
  ASSERT_EQ(bench.view.Field(ReadField::Ek01), "-0.10000");
  bench.Use(MakeMeter(MeterModel::Gdz1207s));
  bench.Run();
  EXPECT_EQ(bench.view.Field(ReadField::Ek00), " 0.03100");
  EXPECT_EQ(bench.view.Field(ReadField::Ek10), " 1.01500");
  EXPECT_EQ(bench.view.Field(ReadField::Ek01), "-0.10000");  // the ZFK-31's
  EXPECT_EQ(bench.view.Field(ReadField::Ek11), " 0.98750");
  EXPECT_EQ(bench.view.Field(ReadField::EClbLic), kNoData);
  EXPECT_EQ(bench.view.Field(ReadField::EClbDate), kNoData);
  EXPECT_EQ(bench.view.caption, "ГДЗ-12.05");
}

TEST(ReadLeftovers, AModBusMeterWithOneChannelKeepsTheSecondChannelToo) {
  ReadBench bench(MakeMeter(MeterModel::Gdz1208x2));
  bench.Run();
  bench.Use(MakeMeter(MeterModel::Gdz1208));
  bench.Run();
  EXPECT_EQ(bench.view.Field(ReadField::Ek01), "-0.00125");
  EXPECT_EQ(bench.view.Field(ReadField::Ek11), " 0.98650");
  EXPECT_EQ(bench.view.caption, "БРЦ-АКС");
}

TEST(ReadLeftovers, AfterATgdz2MeterTheSecondLayoutStaysOn) {
  ReadBench bench(MakeMeter(MeterModel::Gdz1208));
  bench.Run();
  EXPECT_FALSE(bench.read.LastConnection()->Gdz1208().AltRegMapping());
  bench.Use(MakeMeter(MeterModel::Gdz1208x2));
  bench.Run();
  EXPECT_TRUE(bench.read.LastConnection()->Gdz1208().AltRegMapping());
  for (MeterModel next : {MeterModel::Gdz1208, MeterModel::Zfk31}) {
    bench.Use(MakeMeter(next));
    bench.Run();
    EXPECT_TRUE(bench.read.LastConnection()->Gdz1208().AltRegMapping());
  }
}

TEST(ReadMends, TwoNodeGdzAtTheTopAddressHasNoSecondNodeToAsk) {
  // The second node would sit at 128, which the protocol cannot address:
  // rather than show node 127 twice, the second channel says ERR.
  auto meter = MakeMeter(MeterModel::Gdz1207s2, 127);
  ReadBench bench(meter);
  const MeterReading outcome = bench.Run(127);
  EXPECT_EQ(outcome.path, ReadPath::GdzDouble);
  EXPECT_EQ(bench.view.Field(ReadField::Ek00), " 0.03100");
  EXPECT_EQ(bench.view.Field(ReadField::Ek10), " 1.01500");
  EXPECT_EQ(bench.view.Field(ReadField::Ek01), "ERR");
  EXPECT_EQ(bench.view.Field(ReadField::Ek11), "ERR");
  EXPECT_EQ(HeardAt(*meter, RequestKind::ReadRtc2k, 16), 1u);
  EXPECT_EQ(HeardAt(*meter, RequestKind::ReadRtc2k, 256), 1u);
  for (const auto& r : meter->Requests())
    EXPECT_EQ(r.address, 127);
  EXPECT_EQ(bench.read.LastConnection()->Gdz1207s().NetAddr(), 127);
}

TEST(ReadMends, TwoChannelModBusWithoutGmaxShowsNoProductWithZero) {
  auto meter = MakeMeter(MeterModel::Gdz1208x2);
  meter->AddFault(*metersim::ParseFault("silence:kind=read-registers,start=299"));
  ReadBench bench(meter);
  bench.Run();
  EXPECT_EQ(bench.view.Field(ReadField::Ek00), "ERR");
  EXPECT_EQ(bench.view.Field(ReadField::Ek01), "ERR");  // not " 0.00000"
  EXPECT_EQ(bench.view.Field(ReadField::Ek10), " 1.00663");
  EXPECT_EQ(bench.view.Field(ReadField::Ek11), " 0.98650");
  EXPECT_EQ(HeardAt(*meter, RequestKind::ReadRegisters, 370), 0u);
  EXPECT_EQ(HeardAt(*meter, RequestKind::ReadRegisters, 290), 0u);
  EXPECT_EQ(HeardAt(*meter, RequestKind::ReadRegisters, 299), 3u);  // three attempts
}

}  // namespace
