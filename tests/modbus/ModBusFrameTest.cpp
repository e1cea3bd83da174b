// The ModBus reply assembler alone, byte by byte: where each kind of reply
// ends, what a bad CRC gives, and the buffer that outlives a reply.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "comm/LumModBusFrame.h"
#include "comm/LumUtils.h"

namespace {

using Bytes = std::vector<uint8_t>;
using lummodbus::ReplyAssembler;

Bytes WithCrc(Bytes frame) {
  const uint16_t crc = Crc16(0xFFFF, frame);
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

// Feeds bytes until a result; the result (or -1 when the bytes ran out) and
// how many bytes it took.
int64_t FeedAll(ReplyAssembler& a, const Bytes& bytes, size_t* taken = nullptr) {
  a.Start();
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (const auto code = a.Take(bytes[i])) {
      if (taken) *taken = i + 1;
      return *code;
    }
  }
  return -1;
}

TEST(ModBusFrame, ReplyLengthComesFromTheHeader) {
  Bytes longBlock(131, 0x00);
  longBlock[0] = 0x01;
  longBlock[1] = 65;
  Bytes badCrc = WithCrc({0x01, 0x03, 0x02, 0x12, 0x34});
  badCrc.back() ^= 0x01;
  Bytes trailing = WithCrc({0x01, 0x10, 0x00, 0x01, 0x00, 0x02});
  trailing.push_back(0x99);  // not part of the frame
  const struct {
    const char* name;
    Bytes bytes;
    int64_t code;
    size_t taken;
  } cases[] = {
      {"read, two registers", WithCrc({0x01, 0x03, 0x04, 1, 2, 3, 4}), lumOk, 9},
      {"read, no data", WithCrc({0x01, 0x03, 0x00}), lumOk, 5},
      {"read, 255 bytes", WithCrc([] {
         Bytes f = {0x01, 0x03, 0xFF};
         f.resize(258, 0x5A);
         return f;
       }()),
       lumOk, 260},
      {"write acknowledgement", trailing, lumOk, 8},
      {"single register write", WithCrc({0x01, 0x06, 0x00, 0x01, 0x00, 0x02}), lumOk, 8},
      {"exception", WithCrc({0x01, 0x83, 0x02}), lumOk, 5},
      {"unknown function", WithCrc({0x01, 0x42, 0x00}), lumOk, 5},
      {"identification", WithCrc({0x01, 0x11, 0x00, 0x03, 'G', 'D', 'Z'}), lumOk, 9},
      {"empty identification", WithCrc({0x01, 0x11, 0x00, 0x00}), lumOk, 6},
      {"long block", WithCrc(longBlock), lumOk, 133},
      {"bad CRC", badCrc, lumErrChecksum, 7},
      {"cut off", Bytes{0x01, 0x03, 0x04, 1, 2}, -1, 0},
  };
  for (const auto& c : cases) {
    ReplyAssembler a;
    size_t taken = 0;
    EXPECT_EQ(FeedAll(a, c.bytes, &taken), c.code) << c.name;
    EXPECT_EQ(taken, c.taken) << c.name;
    EXPECT_EQ(a.Length(), c.code == lumOk ? c.taken : 0u) << c.name;
  }
}

// The register read judges a failed attempt by the function code an earlier
// frame left in byte 1, so a new reply must not clear the buffer.
TEST(ModBusFrame, TheBufferOutlivesAReply) {
  ReplyAssembler a;
  ASSERT_EQ(FeedAll(a, WithCrc({0x01, 0x11, 0x00, 0x03, 'G', 'D', 'Z'})), lumOk);
  a.Start();
  EXPECT_TRUE(a.AwaitingFirst());
  EXPECT_FALSE(a.Take(0x07).has_value());  // a reply that stops after one byte
  EXPECT_FALSE(a.AwaitingFirst());
  EXPECT_EQ(a.Buffer()[0], 0x07);
  EXPECT_EQ(a.Buffer()[1], 0x11);
  EXPECT_EQ(a.Buffer()[4], 'G');
  // A byte after a result begins the next frame.
  ASSERT_EQ(FeedAll(a, WithCrc({0x01, 0x83, 0x02})), lumOk);
  const Bytes next = WithCrc({0x02, 0x03, 0x02, 0xAB, 0xCD});
  std::optional<uint32_t> code;
  for (uint8_t b : next)
    code = a.Take(b);
  EXPECT_EQ(code, std::optional<uint32_t>(lumOk));
  EXPECT_EQ(a.Length(), next.size());
  EXPECT_EQ(a.Buffer()[0], 0x02);
}

}  // namespace
