// The ModBus reply assembler alone, byte by byte: where each kind of reply
// ends by its header, and what a bad CRC gives.
#include <gtest/gtest.h>

#include <vector>

#include "comm/LumModBusFrame.h"
#include "comm/LumUtils.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes WithCrc(Bytes frame) {
  const uint16_t crc = Crc16(0xFFFF, frame);
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

TEST(ModBusFrame, ReplyLengthComesFromTheHeader) {
  Bytes badCrc = WithCrc({0x01, 0x03, 0x02, 0x12, 0x34});
  badCrc.back() ^= 0x01;
  Bytes longBlock = {0x01, 65};
  longBlock.resize(131, 0x00);
  const struct {
    const char* name;
    Bytes bytes;  // a byte beyond the frame's end must not be taken
    int64_t code;
    size_t taken;
  } cases[] = {
      {"read", WithCrc({0x01, 0x03, 0x04, 1, 2, 3, 4}), lumOk, 9},
      {"read without data", WithCrc({0x01, 0x03, 0x00}), lumOk, 5},
      {"write acknowledgement", WithCrc({0x01, 0x10, 0x00, 0x01, 0x00, 0x02}), lumOk, 8},
      {"exception", WithCrc({0x01, 0x83, 0x02}), lumOk, 5},
      {"identification", WithCrc({0x01, 0x11, 0x00, 0x03, 'G', 'D', 'Z'}), lumOk, 9},
      {"long block", WithCrc(longBlock), lumOk, 133},
      {"bad CRC", badCrc, lumErrChecksum, 7},
      {"cut off", {0x01, 0x03, 0x04, 1, 2}, -1, 0},
  };
  for (const auto& c : cases) {
    lummodbus::ReplyAssembler a;
    a.Start();
    Bytes line = c.bytes;
    line.push_back(0x99);
    int64_t code = -1;
    size_t taken = 0;
    for (size_t i = 0; i < line.size() && code < 0; ++i)
      if (const auto result = a.Take(line[i])) code = *result, taken = i + 1;
    EXPECT_EQ(code, c.code) << c.name;
    EXPECT_EQ(taken, c.taken) << c.name;
    EXPECT_EQ(a.Length(), c.code == lumOk ? c.taken : 0u) << c.name;
  }
}

}  // namespace
