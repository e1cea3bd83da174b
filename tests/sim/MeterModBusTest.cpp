// The GDZ-12.08 as a ModBus RTU slave.
#include <gtest/gtest.h>

#include <cstring>

#include "SimTestUtil.h"

namespace {

using metersim::MeterModel;
using metersim::RequestKind;
using namespace simtest;

TEST(MeterModBus, ReadsTheRegisterMapOfBothVariants) {
  for (MeterModel model : {MeterModel::Gdz1208, MeterModel::Gdz1208x2}) {
    auto meter = Meter(model);
    EXPECT_EQ(meter->Register(318), 0x0105) << "firmware 01.05";
    EXPECT_EQ(meter->Register(370), 671) << "K0 of channel 1, signed 16-bit";
    EXPECT_EQ(static_cast<int16_t>(meter->Register(290)), -336) << "K0 of channel 2";
    // Gmax 1 = 25.0 in registers 299..300, high half first.
    EXPECT_EQ(meter->Register(299), 0x41C8);
    EXPECT_EQ(meter->Register(300), 0x0000);
    // Ku near 1.49e-7 (the reset value), so that the window shows about 1.
    const uint32_t bits = (uint32_t{meter->Register(371)} << 16) | meter->Register(372);
    float ku;
    std::memcpy(&ku, &bits, 4);
    EXPECT_NEAR(ku * 6710886.4, 1.0, 0.02);
  }
}

TEST(MeterModBus, WritesRegistersWithFunctions16And6) {
  auto meter = Meter(MeterModel::Gdz1208);
  const auto reply16 =
      Ask(*meter, WithCrc({0x01, 0x10, 0x01, 0x72, 0x00, 0x02, 0x04, 0xFF, 0x9C, 0x3F, 0x80}));
  EXPECT_EQ(reply16, WithCrc({0x01, 0x10, 0x01, 0x72, 0x00, 0x02}));
  EXPECT_EQ(meter->Register(370), 0xFF9C);
  EXPECT_EQ(meter->Register(371), 0x3F80);
  const auto request6 = WithCrc({0x01, 0x06, 0x01, 0x40, 0x00, 0x01});
  EXPECT_EQ(Ask(*meter, request6), request6);  // the request comes back
  EXPECT_EQ(meter->Register(320), 1);
  const auto log = meter->Requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].kind, RequestKind::WriteRegisters);
  EXPECT_EQ(log[0].start, 370u);
  EXPECT_EQ(log[0].length, 2u);
  EXPECT_TRUE(log[0].writes);
  EXPECT_EQ(log[0].data, (std::vector<uint8_t>{0xFF, 0x9C, 0x3F, 0x80}));
  EXPECT_EQ(log[1].function, 6);
}

TEST(MeterModBus, ExceptionRepliesForWhatItDoesNotHave) {
  struct Case {
    const char* what;
    std::vector<uint8_t> request;
    uint8_t function, code;
  };
  const Case cases[] = {
      {"read beyond the last register", {0x01, 0x03, 0x01, 0x8F, 0x00, 0x02}, 3, 2},
      {"read of 0 registers", {0x01, 0x03, 0x00, 0x00, 0x00, 0x00}, 3, 3},
      {"read of 126 registers", {0x01, 0x03, 0x00, 0x00, 0x00, 126}, 3, 3},
      {"write beyond the last register",
       {0x01, 0x10, 0x01, 0x8F, 0x00, 0x02, 0x04, 1, 2, 3, 4},
       16,
       2},
      {"write whose byte count disagrees", {0x01, 0x10, 0x00, 0x10, 0x00, 0x02, 0x02, 1, 2}, 16, 3},
      {"single write beyond the map", {0x01, 0x06, 0x01, 0x90, 0x00, 0x01}, 6, 2},
  };
  for (const Case& c : cases) {
    auto meter = Meter(MeterModel::Gdz1208);
    const auto before = meter->Read(metersim::MemoryArea::Registers, 0, 800);
    EXPECT_EQ(Ask(*meter, WithCrc(c.request)),
              WithCrc({0x01, static_cast<uint8_t>(c.function | 0x80), c.code}))
        << c.what;
    EXPECT_EQ(meter->Read(metersim::MemoryArea::Registers, 0, 800), before) << c.what;
  }
  // The last register is there.
  auto meter = Meter(MeterModel::Gdz1208);
  EXPECT_EQ(Ask(*meter, WithCrc({0x01, 0x03, 0x01, 0x8F, 0x00, 0x01})),
            WithCrc({0x01, 0x03, 0x02, 0x00, 0x00}));
}

TEST(MeterModBus, AnswersOnlyItsAddressAndIgnoresBadFrames) {
  auto meter = Meter(MeterModel::Gdz1208, 5);
  EXPECT_TRUE(Ask(*meter, WithCrc({0x01, 0x11})).empty());
  EXPECT_FALSE(Ask(*meter, WithCrc({0x05, 0x11})).empty());
  auto bad = WithCrc({0x05, 0x11});
  bad[3] ^= 0x40;
  EXPECT_TRUE(Ask(*meter, bad).empty());
  // A function these meters do not know is not a frame to them.
  EXPECT_TRUE(Ask(*meter, WithCrc({0x05, 0x04, 0x00, 0x00, 0x00, 0x01})).empty());
  const auto log = meter->Requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_FALSE(log[0].forMe);
  EXPECT_TRUE(log[1].forMe);
}

TEST(MeterModBus, AddressZeroIsAnOrdinaryAddress) {
  auto meter = Meter(MeterModel::Gdz1208, 0);
  EXPECT_EQ(Ask(*meter, WithCrc({0x00, 0x11})), WithCrc({0x00, 0x11, 0x04, 0x03, 'B', 'R', 'C'}));
}

TEST(MeterModBus, LongIdentificationTextsAreCutToFitTheFrame) {
  auto meter = Meter(MeterModel::Gdz1208);
  meter->SetIdText(std::string(300, 'x'));
  const auto reply = Ask(*meter, WithCrc({0x01, 0x11}));
  EXPECT_EQ(reply.size(), 256u);
  EXPECT_EQ(reply[3], 250);
  EXPECT_TRUE(CrcOk(reply));
}

}  // namespace
