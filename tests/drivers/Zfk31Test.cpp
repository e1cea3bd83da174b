// The ZFK-31 driver on a virtual ZFK-31: its memory map, big-endian values,
// present values, the 36-write reset and the record at 32.
#include <gtest/gtest.h>

#include "ModelTraits.h"

namespace drivertest {
namespace {

using Rig = MeterRig<TlumZfk31>;
constexpr auto kRead = RequestKind::ReadRtc2k;
constexpr auto kWrite = RequestKind::WriteRtc2k;

// The reset points as the meters store them.
constexpr uint32_t kPointBits[8] = {0x3A83126F, 0x3B23D70A, 0x3BA3D70A, 0x3C23D70A,
                                    0x3CA3D70A, 0x3D23D70A, 0x3DCCCCCD, 0x3F000000};

TEST(Zfk31, SerialNumberIsAnUnsignedBigEndianNumber) {
  const struct {
    const char* bytes;
    const char* text;
  } cases[] = {{"00 00 30 39", "12345"},
               {"FF FF FF FF", "4294967295"},
               {"80 00 00 00", "2147483648"},
               {"00 00 00 00", "0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    Rig rig(MeterModel::Zfk31);
    rig.meter->Write(MemoryArea::Rtc2k, 124, Hex(c.bytes));
    EXPECT_EQ(rig.driver.GetDeviceNumber(), c.text);
    EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kRead, 124, 4}}));
  }
}

struct Place {
  CoefList list;
  uint8_t channel, index;
  uint32_t address;
};
// Addresses as the meter's memory map has them.
const Place kPlaces[] = {
    {CoefList::K, 1, 0, 1792},   {CoefList::Obr, 1, 0, 1792}, {CoefList::K, 2, 0, 1796},
    {CoefList::Obr, 2, 0, 1796}, {CoefList::K, 1, 1, 1816},   {CoefList::Obr, 1, 1, 1816},
    {CoefList::K, 2, 1, 1820},   {CoefList::Obr, 2, 1, 1820}, {CoefList::K, 1, 2, 1824},
    {CoefList::K, 1, 5, 1836},   {CoefList::K, 1, 9, 1852},   {CoefList::K, 2, 2, 1856},
    {CoefList::K, 2, 9, 1884},   {CoefList::Obr, 1, 2, 1888}, {CoefList::Obr, 1, 9, 1916},
    {CoefList::Obr, 2, 2, 1920}, {CoefList::Obr, 2, 7, 1940}, {CoefList::Obr, 2, 9, 1948},
};

TEST(Zfk31, EachCoefficientIsOneFourByteReadAtItsAddress) {
  Rig rig(MeterModel::Zfk31);
  for (const auto& p : kPlaces) {
    SCOPED_TRACE(testing::Message() << "address " << p.address);
    rig.meter->Write(MemoryArea::Rtc2k, p.address, Hex("40 49 0F DB"));
    rig.Forget();
    float value = 0;
    ASSERT_TRUE(p.list == CoefList::K ? rig.driver.ClbReadK(p.channel, p.index, value)
                                      : rig.driver.ClbReadObr(p.channel, p.index, value));
    EXPECT_EQ(Bits(value), 0x40490FDBu);  // 3.1415927
    EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kRead, p.address, 4}}));
    rig.meter->Write(MemoryArea::Rtc2k, p.address, Hex("00 00 00 00"));
  }
}

TEST(Zfk31, EachCoefficientIsOneFourByteWriteMostSignificantByteFirst) {
  Rig rig(MeterModel::Zfk31);
  rig.driver.SetEWrite(true);
  for (const auto& p : kPlaces) {
    SCOPED_TRACE(testing::Message() << "address " << p.address);
    rig.Forget();
    ASSERT_TRUE(p.list == CoefList::K ? rig.driver.ClbWriteK(p.channel, p.index, 1.0f)
                                      : rig.driver.ClbWriteObr(p.channel, p.index, 1.0f));
    const auto log = rig.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(Transactions(log)[0], (Tx{kWrite, p.address, 4}));
    EXPECT_EQ(log[0].data, Hex("3F 80 00 00"));
    EXPECT_EQ(rig.meter->Read(MemoryArea::Rtc2k, p.address, 4), Hex("3F 80 00 00"));
  }
  // The 16 bytes between the K0 pair and the Ku pair are never touched.
  EXPECT_EQ(rig.meter->Read(MemoryArea::Rtc2k, 1800, 16), Bytes(16, 0xFF));
}

TEST(Zfk31, PresentValueComesFromThePresentValuesCommand) {
  Rig rig(MeterModel::Zfk31);
  rig.meter->Write(MemoryArea::Present, 0, Hex("40 49 0F DB C1 20 00 00 00 00 00 01 00 00 00 02"));
  EXPECT_EQ(Bits(rig.driver.ClbReadG(1)), 0x40490FDBu);
  EXPECT_EQ(rig.driver.ClbReadG(2), -10.0f);
  EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{RequestKind::PresentValues, 0, 16},
                                        {RequestKind::PresentValues, 0, 16}}));
  rig.Forget();
  EXPECT_EQ(rig.driver.ClbReadG(0), 0.0f);
  EXPECT_EQ(rig.driver.ClbReadG(3), 0.0f);
  EXPECT_TRUE(rig.Log().empty());

  rig.meter->AddFault(Silence(RequestKind::PresentValues));
  EXPECT_EQ(rig.driver.ClbReadG(1), 0.0f);
  EXPECT_NE(rig.driver.LastError(), 0u);
}

// The order of the reset: points 2..9 into K and Obr of both channels, then
// K0 and Ku of both.
std::vector<Tx> ResetSequence() {
  std::vector<Tx> seq;
  for (uint32_t i = 2; i <= 9; ++i) {
    const uint32_t at = 4 * (i - 2);
    for (uint32_t base : {1824u, 1856u, 1888u, 1920u})
      seq.push_back({kWrite, base + at, 4});
  }
  for (uint32_t a : {1792u, 1796u, 1816u, 1820u})
    seq.push_back({kWrite, a, 4});
  return seq;
}

TEST(Zfk31, ResetKIsThirtySixSingleWritesInOrder) {
  Rig rig(MeterModel::Zfk31);
  rig.driver.SetEWrite(true);
  EXPECT_TRUE(rig.driver.ResetK());
  EXPECT_EQ(rig.Txs(), ResetSequence());
  const auto be = [&](uint32_t a) {
    const Bytes b = rig.meter->Read(MemoryArea::Rtc2k, a, 4);
    return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
  };
  for (uint32_t i = 0; i < 8; ++i) {
    for (uint32_t base : {1824u, 1856u, 1888u, 1920u})
      EXPECT_EQ(be(base + 4 * i), kPointBits[i]) << base + 4 * i;
  }
  EXPECT_EQ(be(1792), 0u);
  EXPECT_EQ(be(1796), 0u);
  EXPECT_EQ(be(1816), 0x3F800000u);
  EXPECT_EQ(be(1820), 0x3F800000u);
}

TEST(Zfk31, ResetKReportsOnlyItsLastWrite) {
  {
    Rig rig(MeterModel::Zfk31);
    rig.driver.SetEWrite(true);
    rig.driver.SetRepeatCount(1);
    rig.meter->AddFault(Silence(kWrite, 0, 5));  // the first five writes are lost
    EXPECT_TRUE(rig.driver.ResetK());
    EXPECT_EQ(rig.driver.LastError(), 0u);
    EXPECT_EQ(rig.Txs(), ResetSequence());  // nothing stopped it
  }
  {
    Rig rig(MeterModel::Zfk31);
    rig.driver.SetEWrite(true);
    rig.driver.SetRepeatCount(1);
    rig.meter->AddFault(Silence(kWrite, 35));  // only the last one is lost
    EXPECT_FALSE(rig.driver.ResetK());
    EXPECT_EQ(rig.driver.LastError(), uint32_t{lumErrRead});
  }
}

TEST(Zfk31, ResetKWithWritesOffSendsNothing) {
  Rig rig(MeterModel::Zfk31);
  EXPECT_TRUE(rig.driver.ResetK());
  EXPECT_TRUE(rig.Log().empty());
}

TEST(Zfk31, RecordGoesToAddress32InOneWrite) {
  Rig rig(MeterModel::Zfk31);
  ScopedLocalTime clock(At(2009, 3, 7, 14, 5, 9));
  rig.driver.SetSealmark("01234567");
  ASSERT_TRUE(rig.driver.ClbWriteSealmark());
  const auto log = rig.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(Transactions(log)[0], (Tx{kWrite, 32, 16}));
  EXPECT_EQ(log[0].data, Hex("30 31 32 33 34 35 36 37 00 00 09 03 07 14 05 09"));
}

}  // namespace
}  // namespace drivertest
