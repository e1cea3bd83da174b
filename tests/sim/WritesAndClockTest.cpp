// What is written stays, and the 3x meters' clock runs from where it was set.
#include <gtest/gtest.h>

#include <map>

#include "SimTestUtil.h"
#include "support/VirtualTime.h"

namespace {

using metersim::MeterModel;
using namespace simtest;

TEST(WritesKept, EveryModelReadsBackWhatWasWrittenAfterItsOtherWrites) {
  struct Case {
    MeterModel model;
    uint8_t address;
    std::string write, read, expect;
  };
  const std::string rec = "53 45 41 4C 30 30 30 31 00 00 24 03 07 09 05 30";
  const Case cases[] = {
      {MeterModel::Zfk31, 1, "0F 81 07 00 3F 80 00 00", "0F 01 07 00 04", "3F 80 00 00"},
      {MeterModel::Zfk31, 1, "0F 81 00 20 " + rec, "0F 01 00 20 10", rec},
      {MeterModel::Zfk36, 1, "0F 81 07 E0 " + rec, "0F 01 07 E0 10", rec},
      {MeterModel::Gdz1207s2, 2, "0F 81 01 04 00 00 80 3F", "0F 01 01 04 04", "00 00 80 3F"},
      {MeterModel::Gdz1208, 1, "01 10 01 73 00 02 04 3F 80 00 00", "01 03 01 73 00 02",
       "3F 80 00 00"},
      {MeterModel::Gdz1208, 1, "01 06 01 72 FF 9C", "01 03 01 72 00 01", "FF 9C"},
      {MeterModel::Gdz1208, 1, "01 10 00 AB 00 08 10 " + rec, "01 03 00 AB 00 08", rec},
  };
  std::map<MeterModel, std::shared_ptr<metersim::VirtualMeter>> meters;
  for (const Case& c : cases) {
    auto& meter = meters[c.model];
    if (!meter) meter = Meter(c.model);
    ASSERT_FALSE(Ask(*meter, Frame(c.model, c.address, c.write)).empty()) << c.write;
  }
  for (const Case& c : cases) {
    const auto reply = Ask(*meters[c.model], Frame(c.model, c.address, c.read));
    EXPECT_EQ(HexText(Payload(reply, metersim::SpeaksModBus(c.model))), c.expect) << c.write;
  }
}

TEST(MeterClock, StartsAtLocalTimeRunsAndIsSetByTheClockWrite) {
  ScopedVirtualTime time;
  lum::SetLocalDateTimeSource([] { return LumDateTime{2019, 11, 30, 6, 9, 5, 3}; });
  for (MeterModel model : {MeterModel::Zfk31, MeterModel::Zfk36, MeterModel::Gdz1207s2}) {
    auto meter = Meter(model);
    auto clock = [&] { return HexText(Data3x(Ask(*meter, Request3x(1, 0x0F, 0x02, {0, 10})))); };
    EXPECT_EQ(clock(), "03 00 05 00 09 00 07 30 11 19");
    time.clock.Advance(61'500);
    EXPECT_EQ(clock(), "04 00 06 00 09 00 07 30 11 19");
    ASSERT_FALSE(Ask(*meter, Frame(model, 1, "0F 82 00 58 00 59 00 23 00 01 31 12 24")).empty());
    time.clock.Advance(2'000);
    EXPECT_EQ(clock(), "00 00 00 00 00 00 02 01 01 25");
    // Bytes that are no time stop the clock where they are.
    ASSERT_FALSE(Ask(*meter, Request3x(1, 0x0F, 0x82, {4, 0x77})).empty());
    time.clock.Advance(5'000);
    EXPECT_EQ(clock(), "00 00 00 00 77 00 02 01 01 25");
    // A leap day, then 31 April, which is no day and stops the clock.
    Ask(*meter, Frame(model, 1, "0F 82 00 59 00 59 00 23 00 04 28 02 24"));
    time.clock.Advance(1'000);
    EXPECT_EQ(clock(), "00 00 00 00 00 00 05 29 02 24");
    Ask(*meter, Frame(model, 1, "0F 82 07 31 04"));
    time.clock.Advance(86'400'000);
    EXPECT_EQ(clock(), "00 00 00 00 00 00 05 31 04 24");
  }
  lum::SetLocalDateTimeSource({});
}

}  // namespace
