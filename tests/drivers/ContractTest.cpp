// What every calibration driver promises, run against each model's virtual
// meter: the seal and its record, argument checks, neutral results, the write
// gate, and coefficients that come back as they were written.
#include <gtest/gtest.h>

#include "ModelTraits.h"

namespace drivertest {
namespace {

template <class Model>
class Contract : public ::testing::Test {
 protected:
  MeterRig<typename Model::Driver> rig{Model::kModel};
  typename Model::Driver& drv = rig.driver;
};

using Models = ::testing::Types<Zfk31Model, Zfk36Model, Gdz1207sModel, Gdz1208Model>;
TYPED_TEST_SUITE(Contract, Models);

TYPED_TEST(Contract, SealmarkTakesEightCharactersAndSwitchesWritesOn) {
  auto& d = this->drv;
  ASSERT_TRUE(this->rig.opened);
  EXPECT_EQ(d.Sealmark(), "");
  EXPECT_FALSE(d.EWrite());

  d.SetSealmark("1234567");  // too short: no seal, EWrite as it was
  EXPECT_EQ(d.Sealmark(), "");
  EXPECT_FALSE(d.EWrite());

  d.SetSealmark("L0421.05-extra");
  EXPECT_EQ(d.Sealmark(), "L0421.05");
  EXPECT_TRUE(d.EWrite());

  d.SetSealmark("short");  // clears the seal, leaves writes on
  EXPECT_EQ(d.Sealmark(), "");
  EXPECT_TRUE(d.EWrite());
  EXPECT_TRUE(this->rig.Log().empty());
}

TYPED_TEST(Contract, NoRecordWithoutASeal) {
  auto& d = this->drv;
  d.SetEWrite(true);
  EXPECT_FALSE(d.ClbWriteSealmark());
  d.SetSealmark("");
  EXPECT_FALSE(d.ClbWriteSealmark());
  EXPECT_TRUE(this->rig.Log().empty());
}

TYPED_TEST(Contract, RecordIsWrittenOnceUntilClearSealmark) {
  auto& d = this->drv;
  auto& meter = *this->rig.meter;
  ScopedLocalTime clock(At(2009, 3, 7, 14, 5, 9));
  d.SetSealmark("L0421.05");

  ASSERT_TRUE(d.ClbWriteSealmark());
  EXPECT_EQ(this->rig.Txs(), TypeParam::RecordTxs());
  EXPECT_EQ(TypeParam::Record(meter), Hex("4C 30 34 32 31 2E 30 35 00 00 09 03 07 14 05 09"));

  // Written: true at once, whatever seal or time comes next.
  this->rig.Forget();
  clock.Set(At(2011, 12, 31, 23, 59, 58));
  EXPECT_TRUE(d.ClbWriteSealmark());
  d.SetSealmark("M7777.01");
  EXPECT_TRUE(d.ClbWriteSealmark());
  EXPECT_TRUE(this->rig.Log().empty());

  // Cleared: a fresh record with the new seal and the time of this moment.
  d.ClearSealmark();
  EXPECT_EQ(d.Sealmark(), "M7777.01");
  EXPECT_TRUE(d.EWrite());
  ASSERT_TRUE(d.ClbWriteSealmark());
  EXPECT_EQ(this->rig.Txs(), TypeParam::RecordTxs());
  EXPECT_EQ(TypeParam::Record(meter), Hex("4D 37 37 37 37 2E 30 31 00 00 11 12 31 23 59 58"));
}

TYPED_TEST(Contract, AShortSealStopsTheRecordEvenAfterOneWasWritten) {
  auto& d = this->drv;
  d.SetSealmark("L0421.05");
  ASSERT_TRUE(d.ClbWriteSealmark());
  d.SetSealmark("L0421");
  this->rig.Forget();
  EXPECT_FALSE(d.ClbWriteSealmark());
  EXPECT_TRUE(this->rig.Log().empty());
}

TYPED_TEST(Contract, AFailedRecordIsTriedAgainOnTheNextCall) {
  auto& d = this->drv;
  auto& meter = *this->rig.meter;
  ScopedLocalTime clock(At(2009, 3, 7, 14, 5, 9));
  d.SetSealmark("L0421.05");
  meter.AddFault(Silence(TypeParam::kWrite));  // the meter's answers are lost
  EXPECT_FALSE(d.ClbWriteSealmark());
  EXPECT_NE(d.LastError(), 0u);

  meter.ClearFaults();
  this->rig.Forget();
  clock.Set(At(2010, 4, 8, 15, 6, 10));
  ASSERT_TRUE(d.ClbWriteSealmark());
  EXPECT_EQ(d.LastError(), 0u);
  EXPECT_EQ(this->rig.Txs(), TypeParam::RecordTxs());
  EXPECT_EQ(TypeParam::Record(meter), Hex("4C 30 34 32 31 2E 30 35 00 00 10 04 08 15 06 10"));
}

TYPED_TEST(Contract, RecordWithWritesOffSendsNothingAndCountsAsWritten) {
  auto& d = this->drv;
  d.SetSealmark("L0421.05");
  d.SetEWrite(false);
  EXPECT_TRUE(d.ClbWriteSealmark());
  d.SetEWrite(true);
  EXPECT_TRUE(d.ClbWriteSealmark());  // the flag was set without traffic
  EXPECT_TRUE(this->rig.Log().empty());
}

TYPED_TEST(Contract, BadArgumentsCostNoTrafficAndLeaveLastErrorAlone) {
  auto& d = this->drv;
  auto& meter = *this->rig.meter;
  d.SetEWrite(true);
  // A failed read first, so that LastError holds something to keep.
  meter.AddFault(Silence(TypeParam::kRead));
  float value = 7.5f;
  EXPECT_FALSE(d.ClbReadK(1, 2, value));
  EXPECT_EQ(value, 0.0f);
  const uint32_t error = d.LastError();
  ASSERT_NE(error, 0u);
  meter.ClearFaults();
  this->rig.Forget();

  const struct {
    uint8_t channel, index;
  } bad[] = {{0, 0}, {3, 1}, {255, 2}, {1, 10}, {2, 255}, {0, 10}};
  for (const auto& a : bad) {
    SCOPED_TRACE(testing::Message() << "channel " << int(a.channel) << " index " << int(a.index));
    value = 7.5f;
    EXPECT_FALSE(d.ClbReadK(a.channel, a.index, value));
    EXPECT_EQ(value, 7.5f);
    EXPECT_FALSE(d.ClbReadObr(a.channel, a.index, value));
    EXPECT_EQ(value, 7.5f);
    EXPECT_FALSE(d.ClbWriteK(a.channel, a.index, 1.0f));
    EXPECT_FALSE(d.ClbWriteObr(a.channel, a.index, 1.0f));
    EXPECT_EQ(d.LastError(), error);
  }
  EXPECT_TRUE(this->rig.Log().empty());
}

TYPED_TEST(Contract, WritesOffSendNothingAndSucceed) {
  auto& d = this->drv;
  auto& meter = *this->rig.meter;
  const Bytes before = TypeParam::Memory(meter);
  EXPECT_TRUE(d.ClbWriteK(1, 2, 0.5f));
  EXPECT_TRUE(d.ClbWriteObr(2, 9, 0.25f));
  EXPECT_TRUE(d.ClbWriteK(2, 0, -3.0f));
  EXPECT_EQ(d.LastError(), 0u);
  EXPECT_EQ(CountWrites(this->rig.Log()), 0u);
  EXPECT_EQ(TypeParam::Memory(meter), before);
}

TYPED_TEST(Contract, EveryCoefficientComesBackAsWritten) {
  auto& d = this->drv;
  d.SetEWrite(true);
  for (uint8_t ch = 1; ch <= 2; ++ch) {
    for (uint8_t i = 0; i <= 9; ++i) {
      SCOPED_TRACE(testing::Message() << "channel " << int(ch) << " index " << int(i));
      // Whole numbers, so that the GDZ-12.08's integer K0 holds them too.
      const float k = static_cast<float>(100 * ch + 10 * i + 1);
      const float obr = -k;
      float got = 0;
      ASSERT_TRUE(d.ClbWriteK(ch, i, k));
      ASSERT_TRUE(d.ClbReadK(ch, i, got));
      EXPECT_EQ(got, k);
      ASSERT_TRUE(d.ClbWriteObr(ch, i, obr));
      ASSERT_TRUE(d.ClbReadObr(ch, i, got));
      EXPECT_EQ(got, obr);
      // K0 and Ku are one value reached through both lists; the points are not.
      ASSERT_TRUE(d.ClbReadK(ch, i, got));
      EXPECT_EQ(got, i <= 1 ? obr : k);
    }
  }
}

TYPED_TEST(Contract, AFailedReadGivesZeroAndTheEnginesCode) {
  auto& d = this->drv;
  this->rig.meter->AddFault(Silence(TypeParam::kRead));
  float value = 5.0f;
  EXPECT_FALSE(d.ClbReadObr(2, 9, value));
  EXPECT_EQ(value, 0.0f);
  EXPECT_NE(d.LastError(), 0u);
  EXPECT_EQ(d.GetDeviceNumber(), "");
  EXPECT_NE(d.LastError(), 0u);
}

TYPED_TEST(Contract, RecordAndRawCoefficientReadBackWhatWasWritten) {
  auto& d = this->drv;
  auto& meter = *this->rig.meter;
  d.SetSealmark("L0421.05");
  ASSERT_TRUE(d.ClbWriteSealmark());
  ASSERT_TRUE(d.ClbWriteK(1, 1, 1.5f));
  CalibrationRecordBytes record{};
  ASSERT_TRUE(d.ClbReadRecord(record));
  EXPECT_EQ(Bytes(record.begin(), record.end()), TypeParam::Record(meter));
  float value = 0;
  Bytes4 raw{};
  ASSERT_TRUE(d.ClbReadKRaw(CoefList::K, 1, 1, value, raw));
  EXPECT_EQ(value, 1.5f);
  const Bytes4 stored = TypeParam::kFloatsLittleEndian ? Bytes4{0x00, 0x00, 0xC0, 0x3F}
                                                       : Bytes4{0x3F, 0xC0, 0x00, 0x00};
  EXPECT_EQ(raw, stored);

  // A failed read leaves the caller's bytes as they were.
  meter.AddFault(Silence(TypeParam::kRead));
  const CalibrationRecordBytes before = record;
  EXPECT_FALSE(d.ClbReadRecord(record));
  EXPECT_EQ(record, before);
  EXPECT_FALSE(d.ClbReadKRaw(CoefList::K, 1, 1, value, raw));
  EXPECT_EQ(value, 0.0f);
  EXPECT_EQ(raw, stored);
}

}  // namespace
}  // namespace drivertest
