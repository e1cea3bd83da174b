// How a meter finds requests in what it hears.
#include <gtest/gtest.h>

#include "SimTestUtil.h"
#include "sim/RequestFramer.h"

namespace {

using metersim::MeterModel;
using metersim::Protocol;
using metersim::RequestFramer;
using namespace simtest;

size_t Count(const std::vector<metersim::RequestFrame>& frames, Protocol p) {
  size_t n = 0;
  for (const auto& f : frames)
    n += f.protocol == p;
  return n;
}

TEST(Framer, FindsRequestsInNoiseSplitsAndMixedTraffic) {
  struct Case {
    const char* what;
    std::vector<std::vector<uint8_t>> pieces;
    size_t frames3x, framesModBus;
  };
  const auto id = Hex("55 01 FE 00 00 00 AB");
  const auto read = Hex("55 01 FE 0F 01 03 01 34 04 5F");
  const auto mb = Hex("01 03 01 3B 00 02 B4 3A");
  auto join = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Case cases[] = {
      {"whole", {id}, 1, 0},
      {"one byte at a time", {{0x55}, {0x01}, {0xFE}, {0x00}, {0x00}, {0x00}, {0xAB}}, 1, 0},
      {"noise before", {join(Hex("00 FF 55 13 AA"), read)}, 1, 0},
      // A false start that claims 200 data bytes must not swallow the request.
      {"false start with a long length", {join(Hex("55 07 F8 0F 01 C8"), id)}, 1, 0},
      {"two back to back", {join(id, read)}, 2, 0},
      {"bad checksum dropped", {Hex("55 01 FE 00 00 00 AC")}, 0, 0},
      {"bad complement dropped", {Hex("55 01 FF 00 00 00 AA")}, 0, 0},
      {"ModBus", {mb}, 0, 1},
      {"ModBus split", {Hex("01 03 01"), Hex("3B 00 02 B4"), Hex("3A")}, 0, 1},
      {"ModBus after noise", {join(Hex("FF 00 01"), mb)}, 0, 1},
      {"both protocols", {join(join(id, mb), read)}, 2, 1},
  };
  for (const Case& c : cases) {
    RequestFramer framer;
    std::vector<metersim::RequestFrame> frames;
    for (const auto& piece : c.pieces)
      for (auto& f : framer.Push(piece))
        frames.push_back(std::move(f));
    EXPECT_EQ(Count(frames, Protocol::ThreeX), c.frames3x) << c.what;
    EXPECT_EQ(Count(frames, Protocol::ModBus), c.framesModBus) << c.what;
  }
}

TEST(Framer, EndlessNoiseKeepsTheBufferBoundedAndARequestStillGetsThrough) {
  RequestFramer framer;
  std::vector<uint8_t> noise;
  for (int i = 0; i < 5000; ++i)
    noise.push_back(static_cast<uint8_t>(i * 37 + 11));
  for (size_t at = 0; at < noise.size(); at += 100)
    framer.Push(std::span(noise).subspan(at, 100));
  const auto frames = framer.Push(Hex("55 01 FE 00 00 00 AB"));
  EXPECT_EQ(Count(frames, Protocol::ThreeX), 1u);
}

TEST(Framer, MeterAnswersARequestDeliveredInPieces) {
  auto meter = Meter(MeterModel::Zfk31);
  EXPECT_TRUE(Ask(*meter, "55 01 FE").empty());
  EXPECT_TRUE(Ask(*meter, "00 00").empty());
  EXPECT_EQ(HexText(Ask(*meter, "00 AB")), "AA 01 FE 00 00 06 5A 46 4B 2D 33 31 D4");
}

}  // namespace
