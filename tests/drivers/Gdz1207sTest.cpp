// The GDZ-12.07S driver on a virtual GDZ-12.07S: the identification gate,
// little-endian floats, one set of values for both channels, the nine-write
// reset and the record in two halves.
#include <gtest/gtest.h>

#include "ModelTraits.h"

namespace drivertest {
namespace {

using Rig = MeterRig<TlumGdz1207s>;
constexpr auto kRead = RequestKind::ReadRtc2k;
constexpr auto kWrite = RequestKind::WriteRtc2k;

TEST(Gdz1207s, SerialNumberOnlyAfterTheIdentificationNamesTheModel) {
  const struct {
    const char* id;
    bool read;
  } cases[] = {{"GDZ-12.07S", true}, {"GDZ25", true},   {"xGDZ25v2", true}, {"GDZ27", true},
               {"GDZ-12.08", false}, {"ZFK-36", false}, {"GDZ2", false},    {"", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    Rig rig(MeterModel::Gdz1207s);
    rig.meter->SetIdText(c.id);
    rig.meter->Write(MemoryArea::Rtc2k, 0, Hex("30 30 31 32 33 34 35 36"));
    EXPECT_EQ(rig.driver.GetDeviceNumber(), c.read ? "00123456" : "");
    EXPECT_EQ(rig.driver.LastError(), 0u);
    std::vector<Tx> expected{{RequestKind::Identify, 0, 0}};
    if (c.read) expected.push_back({kRead, 0, 8});
    EXPECT_EQ(rig.Txs(), expected);
  }
}

TEST(Gdz1207s, SerialNumberCharactersAreTakenAsTheyAre) {
  Rig rig(MeterModel::Gdz1207s);
  rig.meter->Write(MemoryArea::Rtc2k, 0, Hex("41 00 FF 20 39 2D 7A 01"));
  EXPECT_EQ(rig.driver.GetDeviceNumber(), std::string("A\0\xFF 9-z\x01", 8));
}

TEST(Gdz1207s, NoSerialNumberWhenIdentificationFails) {
  Rig rig(MeterModel::Gdz1207s);
  rig.meter->AddFault(Silence(RequestKind::Identify));
  EXPECT_EQ(rig.driver.GetDeviceNumber(), "");
  EXPECT_EQ(rig.driver.LastError(), uint32_t{lumErrRead});
  for (const auto& t : rig.Txs())
    EXPECT_EQ(t.kind, RequestKind::Identify);
}

TEST(Gdz1207s, BothChannelsReachTheSameCoefficients) {
  const struct {
    CoefList list;
    uint8_t channel, index;
    uint32_t address;
  } cases[] = {{CoefList::K, 1, 5, 276},   {CoefList::K, 2, 5, 276},   {CoefList::K, 1, 0, 256},
               {CoefList::Obr, 2, 0, 256}, {CoefList::Obr, 1, 1, 260}, {CoefList::K, 2, 2, 264},
               {CoefList::K, 1, 9, 292},   {CoefList::Obr, 2, 2, 296}, {CoefList::Obr, 1, 9, 324}};
  Rig rig(MeterModel::Gdz1207s);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    rig.meter->Write(MemoryArea::Rtc2k, c.address, Hex("DB 0F 49 40"));
    rig.Forget();
    float value = 0;
    ASSERT_TRUE(c.list == CoefList::K ? rig.driver.ClbReadK(c.channel, c.index, value)
                                      : rig.driver.ClbReadObr(c.channel, c.index, value));
    EXPECT_EQ(Bits(value), 0x40490FDBu);
    EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kRead, c.address, 4}}));
  }
}

TEST(Gdz1207s, FloatsTravelLeastSignificantByteFirst) {
  Rig rig(MeterModel::Gdz1207s);
  rig.meter->Write(MemoryArea::Rtc2k, 260, Hex("00 00 80 3F"));
  float ku = 0;
  ASSERT_TRUE(rig.driver.ClbReadK(1, 1, ku));
  EXPECT_EQ(ku, 1.0f);

  rig.driver.SetEWrite(true);
  rig.Forget();
  ASSERT_TRUE(rig.driver.ClbWriteK(1, 9, 0.5f));
  const auto log = rig.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(Transactions(log)[0], (Tx{kWrite, 292, 4}));
  EXPECT_EQ(log[0].data, Hex("00 00 00 3F"));
  EXPECT_EQ(rig.meter->Read(MemoryArea::Rtc2k, 292, 4), Hex("00 00 00 3F"));
}

TEST(Gdz1207s, PresentValuesAndGmaxIgnoreTheChannel) {
  Rig rig(MeterModel::Gdz1207s);
  rig.meter->Write(MemoryArea::Ram, 176, Hex("00 00 C8 C2"));   // SFR -100
  rig.meter->Write(MemoryArea::Ram, 180, Hex("00 00 20 41"));   // G 10
  rig.meter->Write(MemoryArea::Rtc2k, 16, Hex("00 00 48 42"));  // Gmax 50
  for (uint8_t ch : {uint8_t{0}, uint8_t{1}, uint8_t{2}, uint8_t{7}}) {
    SCOPED_TRACE(int(ch));
    rig.Forget();
    EXPECT_EQ(rig.driver.ClbReadG(ch), 10.0f);
    EXPECT_EQ(rig.driver.ClbReadSFR(ch), -100.0f);
    EXPECT_EQ(rig.driver.ClbReadGmax(ch), 50.0f);
    EXPECT_EQ(rig.Txs(),
              (std::vector<Tx>{
                  {RequestKind::ReadRam, 180, 4}, {RequestKind::ReadRam, 176, 4}, {kRead, 16, 4}}));
  }
  rig.meter->AddFault(Silence(RequestKind::ReadRam));
  EXPECT_EQ(rig.driver.ClbReadG(1), 0.0f);
  EXPECT_EQ(rig.driver.ClbReadSFR(1), 0.0f);
}

TEST(Gdz1207s, ResetKIsNinePairWritesInTheMetersOrder) {
  Rig rig(MeterModel::Gdz1207s);
  rig.driver.SetEWrite(true);
  EXPECT_TRUE(rig.driver.ResetK());
  const auto log = rig.Log();
  EXPECT_EQ(Transactions(log), (std::vector<Tx>{{kWrite, 264, 8},
                                                {kWrite, 296, 8},
                                                {kWrite, 272, 8},
                                                {kWrite, 304, 8},
                                                {kWrite, 280, 8},
                                                {kWrite, 312, 8},
                                                {kWrite, 288, 8},
                                                {kWrite, 320, 8},
                                                {kWrite, 256, 8}}));
  ASSERT_EQ(log.size(), 9u);
  EXPECT_EQ(log[0].data, Hex("6F 12 83 3A 0A D7 23 3B"));  // 0.001, 0.0025
  EXPECT_EQ(log[7].data, Hex("CD CC CC 3D 00 00 00 3F"));  // 0.1, 0.5
  EXPECT_EQ(log[8].data, Hex("00 00 00 00 00 00 80 3F"));  // K0 0, Ku 1
  // K and Obr points alike, from 264 to 327.
  EXPECT_EQ(rig.meter->Read(MemoryArea::Rtc2k, 264, 32),
            rig.meter->Read(MemoryArea::Rtc2k, 296, 32));
  float v = 0;
  ASSERT_TRUE(rig.driver.ClbReadObr(2, 4, v));
  EXPECT_EQ(v, 0.005f);
}

TEST(Gdz1207s, ResetKReportsTheWriteOfK0AndKu) {
  Rig rig(MeterModel::Gdz1207s);
  rig.driver.SetEWrite(true);
  rig.driver.SetRepeatCount(1);
  rig.meter->AddFault(Silence(kWrite, 0, 8));
  EXPECT_TRUE(rig.driver.ResetK());
  EXPECT_EQ(rig.Log().size(), 9u);

  rig.Forget();
  rig.meter->AddFault(Silence(kWrite, 8));
  EXPECT_FALSE(rig.driver.ResetK());
  EXPECT_EQ(rig.Log().size(), 9u);
}

TEST(Gdz1207s, RecordGoesInTwoHalves) {
  Rig rig(MeterModel::Gdz1207s);
  ScopedLocalTime clock(At(2009, 3, 7, 14, 5, 9));
  rig.driver.SetSealmark("01234567");
  ASSERT_TRUE(rig.driver.ClbWriteSealmark());
  const auto log = rig.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].data, Hex("30 31 32 33 34 35 36 37"));
  EXPECT_EQ(log[1].data, Hex("00 00 09 03 07 14 05 09"));
}

TEST(Gdz1207s, AFailedFirstHalfKeepsTheSecondBack) {
  Rig rig(MeterModel::Gdz1207s);
  rig.driver.SetSealmark("01234567");
  rig.meter->AddFault(Silence(kWrite, 0, rig.driver.RepeatCount()));
  EXPECT_FALSE(rig.driver.ClbWriteSealmark());
  for (const auto& t : rig.Txs())
    EXPECT_EQ(t, (Tx{kWrite, 496, 8}));
  // Not written: the next call sends both halves.
  rig.Forget();
  EXPECT_TRUE(rig.driver.ClbWriteSealmark());
  EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kWrite, 496, 8}, {kWrite, 504, 8}}));
}

TEST(Gdz1207s, AFailedSecondHalfFailsTheRecord) {
  Rig rig(MeterModel::Gdz1207s);
  rig.driver.SetSealmark("01234567");
  Fault second = Silence(kWrite);
  second.start = 504;
  rig.meter->AddFault(second);
  EXPECT_FALSE(rig.driver.ClbWriteSealmark());
  EXPECT_EQ(rig.driver.LastError(), uint32_t{lumErrRead});
  // The first half went out once, the second with every attempt.
  std::vector<Tx> expected{{kWrite, 496, 8}};
  for (int i = 0; i < rig.driver.RepeatCount(); ++i)
    expected.push_back({kWrite, 504, 8});
  EXPECT_EQ(rig.Txs(), expected);
  rig.meter->ClearFaults();
  rig.Forget();
  EXPECT_TRUE(rig.driver.ClbWriteSealmark());
  EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kWrite, 496, 8}, {kWrite, 504, 8}}));
}

TEST(Gdz1207s, TheSecondChannelOfATwoNodeMeterIsTheNextAddress) {
  Rig rig(MeterModel::Gdz1207s2, 4);
  float first = 0, second = 0;
  ASSERT_TRUE(rig.driver.ClbReadK(1, 1, first));
  rig.driver.SetNetAddr(5);
  ASSERT_TRUE(rig.driver.ClbReadK(1, 1, second));
  EXPECT_EQ(first, 1.015f);
  EXPECT_EQ(second, 0.992f);
}

}  // namespace
}  // namespace drivertest
