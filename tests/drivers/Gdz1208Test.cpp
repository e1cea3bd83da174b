// The GDZ-12.08 driver on a virtual GDZ-12.08: the register map, integer K0
// and SFR, the channel swap, the alternative SFR registers, the 18- or
// 36-write reset and the firmware version.
#include <gtest/gtest.h>

#include <limits>

#include "ModelTraits.h"

namespace drivertest {
namespace {

using Rig = MeterRig<TlumGdz1208>;
constexpr auto kRead = RequestKind::ReadRegisters;
constexpr auto kWrite = RequestKind::WriteRegisters;

void SetPair(VirtualMeter& m, uint16_t reg, uint16_t high, uint16_t low) {
  m.SetRegister(reg, high);
  m.SetRegister(static_cast<uint16_t>(reg + 1), low);
}

TEST(Gdz1208, SerialNumberAndChannelSwapAreReadTogether) {
  const struct {
    uint16_t high, low;
    const char* text;
  } cases[] = {{0x0001, 0xE240, "123456"}, {0xFFFF, 0xFFFF, "4294967295"}, {0, 0, "0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Rig rig(MeterModel::Gdz1208);
    SetPair(*rig.meter, 315, c.high, c.low);
    EXPECT_EQ(rig.driver.GetDeviceNumber(), c.text);
    EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kRead, 320, 2}, {kRead, 315, 2}}));
  }
}

TEST(Gdz1208, ChannelSwapAndAltRegMappingChooseTheSfrRegister) {
  const struct {
    uint16_t reg320;
    bool alt;
    uint8_t channel;
    uint32_t reg;
  } cases[] = {
      {0x0000, false, 1, 107}, {0x0000, false, 2, 105}, {0x0000, true, 1, 97},
      {0x0000, true, 2, 107},  {0x0001, false, 1, 105}, {0x0001, false, 2, 107},
      {0x0001, true, 1, 107},  {0x0001, true, 2, 97},   {0x0100, false, 1, 107},  // high byte only
      {0x00FF, true, 2, 97},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "320=" << c.reg320 << " alt " << c.alt << " channel " << int(c.channel));
    Rig rig(MeterModel::Gdz1208);
    rig.meter->SetRegister(320, c.reg320);
    rig.driver.SetAltRegMapping(c.alt);
    ASSERT_NE(rig.driver.GetDeviceNumber(), "");
    SetPair(*rig.meter, static_cast<uint16_t>(c.reg), 0xFFFF, 0xFFFE);
    rig.Forget();
    EXPECT_EQ(rig.driver.ClbReadSFR(c.channel), -2.0f);
    EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kRead, c.reg, 2}}));
  }
}

TEST(Gdz1208, SfrIsASignedThirtyTwoBitNumber) {
  const struct {
    uint16_t high, low;
    float value;
  } cases[] = {{0xFFFF, 0xFFFE, -2.0f},
               {0x0000, 0x3A98, 15000.0f},
               {0x8000, 0x0000, -2147483648.0f},
               {0x7FFF, 0xFFFF, 2147483648.0f}};
  Rig rig(MeterModel::Gdz1208);
  for (const auto& c : cases) {
    SetPair(*rig.meter, 107, c.high, c.low);
    EXPECT_EQ(rig.driver.ClbReadSFR(1), c.value) << c.high << ' ' << c.low;
  }
  rig.Forget();
  EXPECT_EQ(rig.driver.ClbReadSFR(0), 0.0f);
  EXPECT_EQ(rig.driver.ClbReadSFR(3), 0.0f);
  EXPECT_TRUE(rig.Log().empty());
}

TEST(Gdz1208, ASwapFlagFromAFailedReadIsClear) {
  Rig rig(MeterModel::Gdz1208);
  rig.meter->SetRegister(320, 1);
  ASSERT_NE(rig.driver.GetDeviceNumber(), "");  // swapped
  Fault first = Silence(kRead);
  first.start = 320;
  rig.meter->AddFault(first);
  EXPECT_EQ(rig.driver.GetDeviceNumber(), "120845");  // the serial number still reads
  rig.Forget();
  rig.driver.ClbReadSFR(1);
  EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kRead, 107, 2}}));
}

// The meter's coefficient registers: K0, Ku, then points 2..9.
struct Column {
  CoefList list;
  uint8_t channel;
  uint16_t regs[10];
};
const Column kColumns[] = {
    {CoefList::K, 1, {370, 371, 352, 350, 348, 346, 344, 342, 340, 338}},
    {CoefList::K, 2, {290, 291, 203, 201, 199, 197, 195, 193, 191, 189}},
    {CoefList::Obr, 1, {370, 371, 368, 366, 364, 362, 360, 358, 356, 354}},
    {CoefList::Obr, 2, {290, 291, 227, 225, 223, 221, 219, 217, 215, 213}},
};

TEST(Gdz1208, EachCoefficientLivesInItsRegisters) {
  Rig rig(MeterModel::Gdz1208);
  rig.driver.SetEWrite(true);
  for (const auto& col : kColumns) {
    for (uint8_t i = 0; i <= 9; ++i) {
      const uint16_t reg = col.regs[i];
      SCOPED_TRACE(testing::Message() << "register " << reg);
      const bool k = col.list == CoefList::K;
      rig.Forget();
      ASSERT_TRUE(k ? rig.driver.ClbWriteK(col.channel, i, 1.0f)
                    : rig.driver.ClbWriteObr(col.channel, i, 1.0f));
      const auto log = rig.Log();
      ASSERT_EQ(log.size(), 1u);
      if (i == 0) {
        EXPECT_EQ(Transactions(log)[0], (Tx{kWrite, reg, 1}));
        EXPECT_EQ(rig.meter->Register(reg), 0x0001);
      } else {
        EXPECT_EQ(Transactions(log)[0], (Tx{kWrite, reg, 2}));
        EXPECT_EQ(rig.meter->Register(reg), 0x3F80);
        EXPECT_EQ(rig.meter->Register(static_cast<uint16_t>(reg + 1)), 0x0000);
      }
      rig.Forget();
      float v = 0;
      ASSERT_TRUE(k ? rig.driver.ClbReadK(col.channel, i, v)
                    : rig.driver.ClbReadObr(col.channel, i, v));
      EXPECT_EQ(v, 1.0f);
      EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kRead, reg, 2}}));  // two for K0 as well
    }
  }
}

TEST(Gdz1208, K0IsASignedSixteenBitRegister) {
  Rig rig(MeterModel::Gdz1208);
  SetPair(*rig.meter, 370, 0xFF9C, 0x1234);
  float v = 0;
  ASSERT_TRUE(rig.driver.ClbReadK(1, 0, v));
  EXPECT_EQ(v, -100.0f);
  EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kRead, 370, 2}}));

  // Written truncated toward zero, its low 16 bits in one register.
  const struct {
    float value;
    uint16_t reg;
  } writes[] = {{-1.9f, 0xFFFF},     {1.9f, 0x0001},     {-100.0f, 0xFF9C}, {32767.9f, 0x7FFF},
                {-32768.0f, 0x8000}, {40000.0f, 0x9C40}, {0.0f, 0x0000}};
  rig.driver.SetEWrite(true);
  const uint16_t ku = rig.meter->Register(371);
  for (const auto& w : writes) {
    SCOPED_TRACE(w.value);
    rig.Forget();
    ASSERT_TRUE(rig.driver.ClbWriteK(1, 0, w.value));
    const auto log = rig.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(Transactions(log)[0], (Tx{kWrite, 370, 1}));
    EXPECT_EQ(log[0].data, (Bytes{static_cast<uint8_t>(w.reg >> 8), static_cast<uint8_t>(w.reg)}));
    EXPECT_EQ(rig.meter->Register(370), w.reg);
    EXPECT_EQ(rig.meter->Register(371), ku);  // the register after K0 is Ku's
  }
}

TEST(Gdz1208, K0BeyondAnyIntegerIsPinnedNotUndefined) {
  Rig rig(MeterModel::Gdz1208);
  rig.driver.SetEWrite(true);
  const struct {
    float value;
    uint16_t reg;
  } writes[] = {{1e12f, 0xFFFF}, {-1e12f, 0x0000}, {std::numeric_limits<float>::quiet_NaN(), 0}};
  for (const auto& w : writes) {
    SCOPED_TRACE(w.value);
    ASSERT_TRUE(rig.driver.ClbWriteObr(2, 0, w.value));
    EXPECT_EQ(rig.meter->Register(290), w.reg);
  }
}

TEST(Gdz1208, KuIsAFloatInTwoRegisters) {
  Rig rig(MeterModel::Gdz1208);
  rig.driver.SetEWrite(true);
  ASSERT_TRUE(rig.driver.ClbWriteK(1, 1, 1.0f));
  const auto log = rig.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(Transactions(log)[0], (Tx{kWrite, 371, 2}));
  EXPECT_EQ(log[0].data, Hex("3F 80 00 00"));
  EXPECT_EQ(rig.meter->Register(371), 0x3F80);
  EXPECT_EQ(rig.meter->Register(372), 0x0000);
}

// Channel 1's reset: K0 .. K9, then Obr 2 .. 9.
std::vector<Tx> ResetOf(const Column& k, const Column& obr) {
  std::vector<Tx> seq{{kWrite, k.regs[0], 1}};
  for (int i = 1; i <= 9; ++i)
    seq.push_back({kWrite, k.regs[i], 2});
  for (int i = 2; i <= 9; ++i)
    seq.push_back({kWrite, obr.regs[i], 2});
  return seq;
}

TEST(Gdz1208, ResetKCoversChannelTwoOnlyWithAltRegMapping) {
  for (bool alt : {false, true}) {
    SCOPED_TRACE(alt);
    Rig rig(MeterModel::Gdz1208);
    rig.driver.SetEWrite(true);
    rig.driver.SetAltRegMapping(alt);
    EXPECT_TRUE(rig.driver.ResetK());
    std::vector<Tx> expected = ResetOf(kColumns[0], kColumns[2]);
    if (alt) {
      const auto second = ResetOf(kColumns[1], kColumns[3]);
      expected.insert(expected.end(), second.begin(), second.end());
    }
    EXPECT_EQ(rig.Txs(), expected);
    EXPECT_EQ(rig.Txs().size(), alt ? 36u : 18u);

    EXPECT_EQ(rig.meter->Register(370), 0);
    EXPECT_EQ(rig.meter->Register(371), 0x3420);  // 1.25 * 2^-23
    EXPECT_EQ(rig.meter->Register(372), 0x0000);
    EXPECT_EQ(rig.meter->Register(352), 0x3A83);  // 0.001
    EXPECT_EQ(rig.meter->Register(353), 0x126F);
    EXPECT_EQ(rig.meter->Register(354), 0x3F00);  // Obr 9: 0.5
    // Channel 2 as it was, or reset as well.
    EXPECT_EQ(rig.meter->Register(291) == 0x3420, alt);
    EXPECT_EQ(rig.meter->Register(213) == 0x3F00, alt);
  }
}

TEST(Gdz1208, ResetKReportsItsLastWrite) {
  Rig rig(MeterModel::Gdz1208);
  rig.driver.SetEWrite(true);
  rig.driver.SetRepeatCount(1);
  Fault last = Silence(kWrite);
  last.start = 354;  // Obr 9 of channel 1
  rig.meter->AddFault(last);
  EXPECT_FALSE(rig.driver.ResetK());
  EXPECT_NE(rig.driver.LastError(), 0u);

  rig.meter->ClearFaults();
  Fault first = Silence(kWrite);
  first.start = 370;
  rig.meter->AddFault(first);
  EXPECT_TRUE(rig.driver.ResetK());
  EXPECT_EQ(rig.driver.LastError(), 0u);
}

TEST(Gdz1208, RecordFillsRegisters171To178) {
  Rig rig(MeterModel::Gdz1208);
  ScopedLocalTime clock(At(2024, 3, 7, 9, 5, 30));
  rig.driver.SetSealmark("L0421.05");
  ASSERT_TRUE(rig.driver.ClbWriteSealmark());
  EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kWrite, 171, 8}}));
  const uint16_t expected[8] = {0x4C30, 0x3432, 0x312E, 0x3035, 0x0000, 0x2403, 0x0709, 0x0530};
  for (uint16_t r = 0; r < 8; ++r)
    EXPECT_EQ(rig.meter->Register(static_cast<uint16_t>(171 + r)), expected[r]) << 171 + r;
}

TEST(Gdz1208, SoftwareVersionIsTwoZeroPaddedNumbers) {
  const struct {
    uint16_t reg;
    const char* text;
  } cases[] = {{0x020A, "02.10"}, {0x0105, "01.05"}, {0x0000, "00.00"}, {0xFF63, "255.99"}};
  Rig rig(MeterModel::Gdz1208);
  for (const auto& c : cases) {
    rig.meter->SetRegister(318, c.reg);
    rig.Forget();
    EXPECT_EQ(rig.driver.GetSoftVer(), c.text);
    EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kRead, 318, 1}}));
  }
  rig.meter->AddFault(Silence(kRead));
  EXPECT_EQ(rig.driver.GetSoftVer(), "");
  EXPECT_NE(rig.driver.LastError(), 0u);
}

TEST(Gdz1208, GAndGmaxPerChannel) {
  Rig rig(MeterModel::Gdz1208);
  const struct {
    bool gmax;
    uint8_t channel;
    uint16_t reg;
  } cases[] = {{false, 1, 0}, {false, 2, 2}, {true, 1, 299}, {true, 2, 301}};
  rig.meter->SetRegister(320, 1);  // swapped channels do not matter here
  rig.driver.SetAltRegMapping(true);
  ASSERT_NE(rig.driver.GetDeviceNumber(), "");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reg);
    SetPair(*rig.meter, c.reg, 0x4049, 0x0FDB);
    rig.Forget();
    const float v = c.gmax ? rig.driver.ClbReadGmax(c.channel) : rig.driver.ClbReadG(c.channel);
    EXPECT_EQ(Bits(v), 0x40490FDBu);
    EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kRead, c.reg, 2}}));
  }
  rig.Forget();
  EXPECT_EQ(rig.driver.ClbReadG(0), 0.0f);
  EXPECT_EQ(rig.driver.ClbReadGmax(3), 0.0f);
  EXPECT_TRUE(rig.Log().empty());
}

}  // namespace
}  // namespace drivertest
