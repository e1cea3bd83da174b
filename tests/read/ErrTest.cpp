// Failed calls during a read: the first failing call of a field puts "ERR"
// into it and skips the rest of that field's calls; the other fields are still
// read. Faults hit one request kind at one address only.
#include <gtest/gtest.h>

#include "ReadTestUtil.h"

namespace {

using namespace readtest;
using metersim::MeterModel;  // the virtual meters' models, not the core's

struct ErrCase {
  const char* name;
  MeterModel model;
  const char* fault;  // a fault text for the meter at address 6
  // Ek00, Ek10, Ek01, Ek11 as shown; nullptr for a field the path leaves.
  const char* coefficients[4];
  // A request that must not have been made: kind at start (and address).
  RequestKind skippedKind;
  uint32_t skippedStart;
  int skippedAddress;
  bool record;
};

const char* const kErr = "ERR";

const ErrCase kCases[] = {
    {"Zfk31GmaxFails",
     MeterModel::Zfk31,
     "silence:kind=rtc2k-read,start=204",
     {kErr, " 1.01250", "-0.10000", " 0.98750"},
     RequestKind::ReadRtc2k,
     1792,
     6,
     true},
    {"Zfk31K0Fails",
     MeterModel::Zfk31,
     "silence:kind=rtc2k-read,start=1792",
     {kErr, " 1.01250", "-0.10000", " 0.98750"},
     RequestKind::Other,
     0,
     -1,
     true},
    {"Zfk31SecondGmaxFails",
     MeterModel::Zfk31,
     "bad-checksum:kind=rtc2k-read,start=208",
     {" 0.10000", " 1.01250", kErr, " 0.98750"},
     RequestKind::ReadRtc2k,
     1796,
     6,
     true},
    {"Zfk31KuFails",
     MeterModel::Zfk31,
     "cut:kind=rtc2k-read,start=1820,n=4",
     {" 0.10000", " 1.01250", "-0.10000", kErr},
     RequestKind::Other,
     0,
     -1,
     true},
    {"Zfk31RecordFails",
     MeterModel::Zfk31,
     "silence:kind=rtc2k-read,start=32",
     {" 0.10000", " 1.01250", "-0.10000", " 0.98750"},
     RequestKind::Other,
     0,
     -1,
     false},
    {"Zfk36GmaxFails",
     MeterModel::Zfk36,
     "silence:kind=rtc2k-read,start=312",
     {" 0.10000", " 1.00420", kErr, " 0.99680"},
     RequestKind::ReadRtc2k,
     1576,
     6,
     true},
    {"Zfk36RecordFails",
     MeterModel::Zfk36,
     "silence:kind=rtc2k-read,start=2016",
     {" 0.10000", " 1.00420", "-0.09450", " 0.99680"},
     RequestKind::Other,
     0,
     -1,
     false},
    {"GdzGmaxFails",
     MeterModel::Gdz1207s,
     "silence:kind=rtc2k-read,start=16",
     {kErr, " 1.01500", nullptr, nullptr},
     RequestKind::ReadRtc2k,
     256,
     6,
     false},
    {"GdzKuFails",
     MeterModel::Gdz1207s,
     "silence:kind=rtc2k-read,start=260",
     {" 0.03100", kErr, nullptr, nullptr},
     RequestKind::Other,
     0,
     -1,
     false},
    {"GdzSecondNodeGmaxFails",
     MeterModel::Gdz1207s2,
     "silence:kind=rtc2k-read,start=16,addr=7",
     {" 0.03100", " 1.01500", kErr, " 0.99200"},
     RequestKind::ReadRtc2k,
     256,
     7,
     true},
    {"GdzSecondNodeRecordFails",
     MeterModel::Gdz1207s2,
     "silence:kind=rtc2k-read,start=496",
     {" 0.03100", " 1.01500", "-0.03520", " 0.99200"},
     RequestKind::Other,
     0,
     -1,
     false},
    {"ModBusGmaxFails",
     MeterModel::Gdz1208,
     "silence:kind=read-registers,start=299",
     {kErr, " 1.00663", nullptr, nullptr},
     RequestKind::ReadRegisters,
     370,
     -1,
     true},
    {"ModBusK0Exception",
     MeterModel::Gdz1208,
     "exception:kind=read-registers,start=370",
     {kErr, " 1.00663", nullptr, nullptr},
     RequestKind::Other,
     0,
     -1,
     true},
    {"ModBusRecordFails",
     MeterModel::Gdz1208,
     "exception:kind=read-registers,start=171",
     {" 0.00250", " 1.00663", nullptr, nullptr},
     RequestKind::Other,
     0,
     -1,
     false},
    // Without a Gmax there is nothing to scale the second K0 by either.
    {"ModBusTwoChannelGmaxFails",
     MeterModel::Gdz1208x2,
     "silence:kind=read-registers,start=299",
     {kErr, " 1.00663", kErr, " 0.98650"},
     RequestKind::ReadRegisters,
     290,
     -1,
     true},
    {"ModBusSecondK0Fails",
     MeterModel::Gdz1208x2,
     "silence:kind=read-registers,start=290",
     {" 0.00250", " 1.00663", kErr, " 0.98650"},
     RequestKind::Other,
     0,
     -1,
     true},
    {"ModBusSecondKuFails",
     MeterModel::Gdz1208x2,
     "bad-checksum:kind=read-registers,start=291",
     {" 0.00250", " 1.00663", "-0.00125", kErr},
     RequestKind::Other,
     0,
     -1,
     true},
};

void PrintTo(const ErrCase& c, std::ostream* os) {
  *os << c.name;
}

class ReadErr : public ::testing::TestWithParam<ErrCase> {};

TEST_P(ReadErr, FirstFailingCallMarksItsFieldOnly) {
  const ErrCase& c = GetParam();
  auto meter = MakeMeter(c.model, 6);
  std::string error;
  const auto fault = metersim::ParseFault(c.fault, &error);
  ASSERT_TRUE(fault) << error;
  meter->AddFault(*fault);
  ReadBench bench(meter);
  const MeterReading outcome = bench.Run(6);
  const RecordingView& v = bench.view;

  EXPECT_EQ(outcome.result, ReadResult::Ok);
  EXPECT_TRUE(v.errors.empty());
  const ReadField fields[] = {ReadField::Ek00, ReadField::Ek10, ReadField::Ek01, ReadField::Ek11};
  for (size_t i = 0; i < 4; ++i) {
    if (c.coefficients[i])
      EXPECT_EQ(v.Field(fields[i]), c.coefficients[i]) << i;
    else
      EXPECT_FALSE(v.Field(fields[i]).has_value()) << i;
  }
  if (c.skippedKind != RequestKind::Other)
    EXPECT_EQ(HeardAt(*meter, c.skippedKind, c.skippedStart, c.skippedAddress), 0u);
  if (c.record) {
    EXPECT_EQ(v.Field(ReadField::EClbLic), "1234, v.1.05");
  } else {
    EXPECT_EQ(v.Field(ReadField::EClbLic), kNoData);
    EXPECT_EQ(v.Field(ReadField::EClbDate), kNoData);
  }
  EXPECT_FALSE(PortOpen(bench.read));
}

INSTANTIATE_TEST_SUITE_P(EveryPath, ReadErr, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadErrors, TheGmaxIsReadBeforeTheK0ThatFails) {
  // A failing K0 read: the Gmax read went out first and succeeded.
  auto meter = MakeMeter(MeterModel::Zfk31);
  meter->AddFault(*metersim::ParseFault("silence:kind=rtc2k-read,start=1792"));
  ReadBench bench(meter);
  bench.Run();
  EXPECT_EQ(HeardAt(*meter, RequestKind::ReadRtc2k, 204), 1u);
  EXPECT_EQ(HeardAt(*meter, RequestKind::ReadRtc2k, 1792), 5u);  // row 1: five attempts
}

TEST(ReadErrors, AFailedSerialNumberLeavesWhatTheDriverGaveAndTheReadGoesOn) {
  auto meter = MakeMeter(MeterModel::Zfk31);
  meter->AddFault(*metersim::ParseFault("silence:kind=rtc2k-read,start=124"));
  ReadBench bench(meter);
  bench.view.fields[static_cast<size_t>(ReadField::ELicNo)] = "старый";
  bench.Run();
  EXPECT_EQ(bench.view.Field(ReadField::ELicNo), "");
  EXPECT_EQ(bench.view.Field(ReadField::Ek11), " 0.98750");
  EXPECT_EQ(bench.view.Field(ReadField::EClbLic), "1234, v.1.05");
}

TEST(ReadErrors, AMeterThatFallsSilentMidwayGivesErrEverywhereButNoHang) {
  auto meter = MakeMeter(MeterModel::Zfk36);
  meter->AddFault(*metersim::ParseFault("silence:kind=rtc2k-read,skip=1"));
  ReadBench bench(meter);
  const uint64_t start = lum::NowMs();
  bench.Run();
  for (ReadField f : {ReadField::Ek00, ReadField::Ek10, ReadField::Ek01, ReadField::Ek11})
    EXPECT_EQ(bench.view.Field(f), "ERR");
  EXPECT_EQ(bench.view.Field(ReadField::ELicNo), "360517");
  EXPECT_EQ(bench.view.Field(ReadField::EClbLic), kNoData);
  // Five failing reads of five attempts, each waiting out row 7's 350 ms and
  // a pause: seconds of the line's time, not minutes.
  EXPECT_LT(lum::NowMs() - start, 30000u);
}

}  // namespace
