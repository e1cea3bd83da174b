// Replies of the virtual meters to the byte sequences the protocol documents
// print, and to requests the main window's read sends. Expected replies were
// worked out by hand and by a separate script, not by the meter's codec.
#include <gtest/gtest.h>

#include <cstring>

#include "SimTestUtil.h"

namespace {

using metersim::MeterModel;
using namespace simtest;

struct Golden {
  const char* what;
  MeterModel model;
  const char* request;
  const char* reply;
};

TEST(GoldenFrames, RepliesToDocumentedRequests) {
  const Golden cases[] = {
      {"3x identification", MeterModel::Zfk31, "55 01 FE 00 00 00 AB",
       "AA 01 FE 00 00 06 5A 46 4B 2D 33 31 D4"},
      {"ReadRtc2k 0x0134 x4 (ZFK-36 Gmax 40.0)", MeterModel::Zfk36, "55 01 FE 0F 01 03 01 34 04 5F",
       "AA 01 FE 0F 01 04 42 20 00 00 E0"},
      {"serial number registers 315..316", MeterModel::Gdz1208, "01 03 01 3B 00 02 B4 3A",
       "01 03 04 00 01 D8 0D 30 36"},
      {"channel swap registers 320..321", MeterModel::Gdz1208, "01 03 01 40 00 02 C4 23",
       "01 03 04 00 00 00 00 FA 33"},
      {"report slave ID, one channel", MeterModel::Gdz1208, "01 11 C0 2C",
       "01 11 04 03 42 52 43 25 80"},
      {"report slave ID, two channels", MeterModel::Gdz1208x2, "01 11 C0 2C",
       "01 11 06 05 54 47 44 5A 32 7F ED"},
      {"write of the calibration record", MeterModel::Gdz1208,
       "01 10 00 AB 00 08 10 43 31 30 35 31 32 33 34 00 00 24 03 07 09 05 30 96 02",
       "01 10 00 AB 00 08 B0 2F"},
      {"register beyond the map", MeterModel::Gdz1208, "01 03 01 90 00 01 85 DB", "01 83 02 C0 F1"},
  };
  for (const Golden& c : cases) {
    auto meter = Meter(c.model);
    EXPECT_EQ(HexText(Ask(*meter, c.request)), c.reply) << c.what;
  }
}

TEST(GoldenFrames, DocumentedRequestsCarryValidChecks) {
  // The meter takes the documented frames only if its own checks agree.
  EXPECT_TRUE(ChecksumOk(Hex("55 01 FE 00 00 00 AB")));
  EXPECT_TRUE(ChecksumOk(Hex("55 01 FE 0F 01 03 01 34 04 5F")));
  EXPECT_TRUE(CrcOk(Hex("01 03 01 3B 00 02 B4 3A")));
  EXPECT_TRUE(CrcOk(Hex("01 11 C0 2C")));
  EXPECT_EQ(Request3x(1, 0x0F, 0x01, {0x01, 0x34, 0x04}), Hex("55 01 FE 0F 01 03 01 34 04 5F"));
}

// The main window's direct reads find plausible values at the documented places.
TEST(GoldenFrames, MainWindowReadsFindTheModelsData) {
  struct Read {
    MeterModel model;
    uint8_t group, command;
    std::vector<uint8_t> data;
    const char* expect;  // data bytes of the reply
  };
  const Read reads[] = {
      {MeterModel::Zfk31, 0x0F, 0x01, {0x00, 204, 4}, "41 80 00 00"},    // Gmax 1 = 16.0
      {MeterModel::Zfk31, 0x0F, 0x01, {0x00, 208, 4}, "41 C8 00 00"},    // Gmax 2 = 25.0
      {MeterModel::Zfk31, 0x0F, 0x01, {0x00, 124, 4}, "00 04 BB E5"},    // serial 310245
      {MeterModel::Zfk36, 0x0F, 0x01, {0x01, 0x38, 4}, "42 7C 00 00"},   // 312: Gmax 2 = 63.0
      {MeterModel::Gdz1207s, 0x0F, 0x01, {0x00, 16, 4}, "00 00 20 41"},  // Gmax 10.0, LE
      {MeterModel::Gdz1207s, 0x0F, 0x01, {0x00, 0, 8}, "30 37 31 32 30 34 35 38"},
      {MeterModel::Zfk31, 0x0F, 0x01, {0x07, 0x00, 4}, "43 23 D7 0A"},  // 1792: K0 1 = 163.84
      {MeterModel::Zfk31, 0x0F, 0x01, {0x07, 0x04, 4}, "C2 D1 B7 17"},  // 1796: K0 2
      {MeterModel::Zfk31, 0x0F, 0x01, {0x07, 0x18, 4}, "3F 81 99 9A"},  // 1816: Ku 1 = 1.0125
      {MeterModel::Zfk36, 0x0F, 0x01, {0x05, 0xE0, 8}, "3B 23 D7 0A 3F 80 89 A0"},  // K0, Ku 1
      {MeterModel::Gdz1207s, 0x0F, 0x01, {0x01, 0x00, 4}, "5F 29 4B 3B"},  // 256: K0 0.0031, LE
  };
  for (const Read& r : reads) {
    auto meter = Meter(r.model);
    const auto reply = Ask(*meter, Request3x(1, r.group, r.command, r.data));
    ASSERT_TRUE(ChecksumOk(reply)) << MeterModelName(r.model);
    EXPECT_EQ(HexText(Data3x(reply)), r.expect) << MeterModelName(r.model);
  }
}

TEST(GoldenFrames, CalibrationRecordsCarryASealStartingWithC) {
  struct Place {
    MeterModel model;
    uint16_t address;
  };
  for (const Place p : {Place{MeterModel::Zfk31, 32}, Place{MeterModel::Zfk36, 2016},
                        Place{MeterModel::Gdz1207s2, 496}}) {
    auto meter = Meter(p.model);
    // The two-node meter's record is read at the second address.
    const uint8_t address = p.model == MeterModel::Gdz1207s2 ? 2 : 1;
    const auto reply =
        Ask(*meter,
            Request3x(address, 0x0F, 0x01,
                      {static_cast<uint8_t>(p.address >> 8), static_cast<uint8_t>(p.address), 16}));
    EXPECT_EQ(HexText(Data3x(reply)), "43 31 30 35 31 32 33 34 00 00 16 07 22 10 30 00")
        << MeterModelName(p.model);
  }
  auto gdz1208 = Meter(MeterModel::Gdz1208);
  const auto reply = Ask(*gdz1208, WithCrc({0x01, 0x03, 0x00, 171, 0x00, 0x08}));
  EXPECT_EQ(HexText(reply), HexText(WithCrc(Hex("01 03 10 43 31 30 35 31 32 33 34 00 00 16 07 "
                                                "22 10 30 00"))));
}

TEST(GoldenFrames, Zfk36CoefficientBlockCarriesAValidChecksum) {
  auto meter = Meter(MeterModel::Zfk36);
  const auto reply = Ask(*meter, Request3x(1, 0x0F, 0x01, {0x05, 0xE0, 146}));  // 1504
  const auto block = Data3x(reply);
  ASSERT_EQ(block.size(), 146u);
  unsigned sum = 0;
  for (size_t i = 0; i < 144; ++i)
    sum += block[i];
  const unsigned stored = (unsigned{block[144]} << 8) | block[145];
  EXPECT_EQ((sum + stored) & 0xFFFF, 0xFFFFu);
}

}  // namespace
