// What is written stays, and the 3x meters' clock runs from where it was set.
#include <gtest/gtest.h>

#include <map>

#include "SimTestUtil.h"
#include "support/VirtualTime.h"

namespace {

using metersim::ClockBytes;
using metersim::MeterModel;
using namespace simtest;
using Bytes = std::vector<uint8_t>;

TEST(WritesKept, EveryModelReadsBackWhatWasWrittenAfterTheOtherWrites) {
  struct Case {
    MeterModel model;
    Bytes write, read, expect;
  };
  const Bytes record = {'S', 'E', 'A',  'L',  '0',  '0',  '0',  '1',
                        0,   0,   0x24, 0x03, 0x07, 0x09, 0x05, 0x30};
  const Bytes clock = {0x03, 0, 0x05, 0, 0x09, 0, 0x07, 0x30, 0x11, 0x19};
  Bytes recordWrite = {0, 32};
  recordWrite.insert(recordWrite.end(), record.begin(), record.end());
  Bytes clockWrite = {0};
  clockWrite.insert(clockWrite.end(), clock.begin(), clock.end());
  Bytes regRecord = {1, 16, 0, 171, 0, 8, 16};
  regRecord.insert(regRecord.end(), record.begin(), record.end());
  const Case cases[] = {
      {MeterModel::Zfk31,
       Request3x(1, 0x0F, 0x81, {0x07, 0x00, 0x3F, 0x80, 0, 0}),
       Request3x(1, 0x0F, 0x01, {0x07, 0x00, 4}),
       {0x3F, 0x80, 0, 0}},
      {MeterModel::Zfk31, Request3x(1, 0x0F, 0x81, recordWrite),
       Request3x(1, 0x0F, 0x01, {0, 32, 16}), record},
      {MeterModel::Zfk31, Request3x(1, 0x0F, 0x82, clockWrite), Request3x(1, 0x0F, 0x02, {0, 10}),
       clock},
      {MeterModel::Gdz1207s2,
       Request3x(2, 0x0F, 0x81, {0x01, 0x04, 0, 0, 0x80, 0x3F}),
       Request3x(2, 0x0F, 0x01, {0x01, 0x04, 4}),
       {0, 0, 0x80, 0x3F}},
      {MeterModel::Gdz1207s2, Request3x(1, 0x0F, 0x82, clockWrite),
       Request3x(1, 0x0F, 0x02, {0, 10}), clock},
      {MeterModel::Gdz1208,
       WithCrc({1, 16, 0x01, 0x73, 0, 2, 4, 0x3F, 0x80, 0, 0}),
       WithCrc({1, 3, 0x01, 0x73, 0, 2}),
       {0x3F, 0x80, 0, 0}},
      {MeterModel::Gdz1208,
       WithCrc({1, 6, 0x01, 0x72, 0xFF, 0x9C}),
       WithCrc({1, 3, 0x01, 0x72, 0, 1}),
       {0xFF, 0x9C}},
      {MeterModel::Gdz1208, WithCrc(regRecord), WithCrc({1, 3, 0, 171, 0, 8}), record},
  };
  ScopedVirtualTime time;  // the clock stands still between its write and its read
  std::map<MeterModel, std::shared_ptr<metersim::VirtualMeter>> meters;
  for (const Case& c : cases) {
    auto& meter = meters[c.model];
    if (!meter) meter = Meter(c.model);
    ASSERT_FALSE(Ask(*meter, c.write).empty()) << HexText(c.write);
  }
  for (const Case& c : cases)
    EXPECT_EQ(HexText(Payload(Ask(*meters[c.model], c.read), metersim::SpeaksModBus(c.model))),
              HexText(c.expect))
        << HexText(c.write);
  // The other node of the two-node meter kept its own Ku.
  EXPECT_NE(meters[MeterModel::Gdz1207s2]->Read(metersim::MemoryArea::Rtc2k, 260, 4, 0),
            (Bytes{0, 0, 0x80, 0x3F}));
}

TEST(WritesKept, Zfk36BlockInTwelvePiecesComesBackWholeWithItsChecksum) {
  auto meter = Meter(MeterModel::Zfk36);
  Bytes block(146);
  uint16_t sum = 0;
  for (size_t i = 0; i < 144; ++i)
    sum = static_cast<uint16_t>(sum + (block[i] = static_cast<uint8_t>(i * 7)));
  block[144] = static_cast<uint8_t>(~sum >> 8);
  block[145] = static_cast<uint8_t>(~sum);
  for (size_t at = 0; at < block.size();) {
    const size_t n = block.size() - at > 64 ? 8 : block.size() - at;
    Bytes piece = {static_cast<uint8_t>((1504 + at) >> 8), static_cast<uint8_t>(1504 + at)};
    piece.insert(piece.end(), block.begin() + static_cast<long>(at),
                 block.begin() + static_cast<long>(at + n));
    ASSERT_TRUE(ChecksumOk(Ask(*meter, Request3x(1, 0x0F, 0x81, piece))));
    at += n;
  }
  EXPECT_EQ(Data3x(Ask(*meter, Request3x(1, 0x0F, 0x01, {0x05, 0xE0, 146}))), block);
  EXPECT_EQ(meter->WriteCount(), 12u);
}

TEST(MeterClock, AdvancesThroughTheCalendarAndRefusesNonsense) {
  struct Case {
    ClockBytes set;
    uint64_t seconds;
    std::optional<ClockBytes> expect;
  };
  const Case cases[] = {
      {{0x59, 0, 0x59, 0, 0x23, 0, 7, 0x30, 0x11, 0x19},
       1,
       ClockBytes{0, 0, 0, 0, 0, 0, 1, 0x01, 0x12, 0x19}},
      {{0x00, 0, 0x00, 0, 0x12, 0, 4, 0x28, 0x02, 0x24},
       86400,
       ClockBytes{0, 0, 0, 0, 0x12, 0, 5, 0x29, 0x02, 0x24}},
      {{0x00, 0, 0x00, 0, 0x12, 0, 3, 0x28, 0x02, 0x23},
       86400,
       ClockBytes{0, 0, 0, 0, 0x12, 0, 4, 0x01, 0x03, 0x23}},
      {{0x30, 9, 0x59, 0, 0x23, 0, 5, 0x31, 0x12, 0x99},
       3661,
       ClockBytes{0x31, 9, 0x00, 0, 0x01, 0, 6, 0x01, 0x01, 0x00}},
      {{0x5A, 0, 0, 0, 0, 0, 1, 0x01, 0x01, 0x20}, 0, std::nullopt},  // not BCD
      {{0, 0, 0, 0, 0x24, 0, 1, 0x01, 0x01, 0x20}, 0, std::nullopt},  // hour 24
      {{0, 0, 0, 0, 0, 0, 0, 0x01, 0x01, 0x20}, 0, std::nullopt},     // no weekday
      {{0, 0, 0, 0, 0, 0, 1, 0x31, 0x04, 0x20}, 0, std::nullopt},     // 31 April
      {{0, 0, 0, 0, 0, 0, 1, 0x29, 0x02, 0x23}, 0, std::nullopt},     // 29 February 2023
  };
  for (const Case& c : cases)
    EXPECT_EQ(metersim::AdvanceClock(c.set, c.seconds), c.expect)
        << HexText({c.set.begin(), c.set.end()});
}

TEST(MeterClock, StartsAtLocalTimeRunsAndIsSetByTheClockWrite) {
  ScopedVirtualTime time;
  SetLocalDateTimeSource([] { return LumDateTime{2019, 11, 30, 6, 9, 5, 3}; });
  for (MeterModel model : {MeterModel::Zfk31, MeterModel::Zfk36, MeterModel::Gdz1207s2}) {
    auto meter = Meter(model);
    auto clock = [&] { return HexText(Data3x(Ask(*meter, Request3x(1, 0x0F, 0x02, {0, 10})))); };
    EXPECT_EQ(clock(), "03 00 05 00 09 00 07 30 11 19");
    time.clock.Advance(61'500);
    EXPECT_EQ(clock(), "04 00 06 00 09 00 07 30 11 19");
    // The clock write sets it; it runs on from there.
    ASSERT_FALSE(
        Ask(*meter, Request3x(1, 0x0F, 0x82, {0, 0x58, 0, 0x59, 0, 0x23, 0, 1, 0x31, 0x12, 0x24}))
            .empty());
    time.clock.Advance(2'000);
    EXPECT_EQ(clock(), "00 00 00 00 00 00 02 01 01 25");
    // Bytes that are no time stop it where they are.
    ASSERT_FALSE(Ask(*meter, Request3x(1, 0x0F, 0x82, {4, 0x77})).empty());
    time.clock.Advance(5'000);
    EXPECT_EQ(clock(), "00 00 00 00 77 00 02 01 01 25");
  }
  SetLocalDateTimeSource({});
}

}  // namespace
