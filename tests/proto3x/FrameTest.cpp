// Request building and reply assembly, away from the line.
#include <gtest/gtest.h>

#include "Scripted3x.h"
#include "comm/Lum3xFrame.h"
#include "comm/LumUtils.h"

namespace {

using lum3x::ReplyAssembler;

Bytes Build(uint8_t address, uint8_t group, uint8_t command, const Bytes& data) {
  std::array<uint8_t, 256> frame{};
  const size_t n = lum3x::BuildRequest(frame, address, group, command, data);
  return Bytes(frame.begin(), frame.begin() + static_cast<ptrdiff_t>(n));
}

// Feeds bytes until the assembler gives a result; -1 if it never does.
int64_t FeedAll(ReplyAssembler& a, const Bytes& bytes, size_t* taken = nullptr) {
  a.Start();
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (auto code = a.Take(bytes[i])) {
      if (taken) *taken = i + 1;
      return *code;
    }
  }
  return -1;
}

TEST(Frame3x, RequestsMatchTheGoldenBytes) {
  EXPECT_EQ(Build(1, 0, 0, {}), (Bytes{0x55, 0x01, 0xFE, 0x00, 0x00, 0x00, 0xAB}));
  EXPECT_EQ(Build(1, 0x0F, 0x01, {0x01, 0x34, 0x04}),
            (Bytes{0x55, 0x01, 0xFE, 0x0F, 0x01, 0x03, 0x01, 0x34, 0x04, 0x5F}));
  // The test's own encoder agrees with the golden bytes too.
  EXPECT_EQ(Request3x(0x0F, 0x01, {0x01, 0x34, 0x04}), Build(1, 0x0F, 0x01, {0x01, 0x34, 0x04}));
}

TEST(Frame3x, RequestDataUpTo248Bytes) {
  const Bytes big(248, 0xA5);
  EXPECT_EQ(Build(127, 0x0F, 0x81, big), Request3x(0x0F, 0x81, big, 127));
  EXPECT_TRUE(Build(127, 0x0F, 0x81, Bytes(249, 0)).empty());
  std::array<uint8_t, 9> small{};
  EXPECT_EQ(lum3x::BuildRequest(small, 1, 0, 0, Bytes{1, 2, 3}), 0u);
}

struct ReplyCase {
  const char* name;
  Bytes bytes;
  int64_t code;
  size_t taken;  // bytes consumed when the result came
};

TEST(Frame3x, ReplyAssemblyResults) {
  Bytes badSum = Reply3x({1, 2});
  badSum.back() ^= 0x01;
  Bytes badComplement = Reply3x({1, 2});
  badComplement[2] = 0xFF;
  Bytes tooLong = {0xAA, 0x01, 0xFE, 0x00, 0x00, 249};
  tooLong.resize(300, 0);
  Bytes noisy = {0x00, 0x55, 0xFF};
  const Bytes good = Reply3x({7, 8, 9}, 5);
  noisy.insert(noisy.end(), good.begin(), good.end());
  const ReplyCase cases[] = {
      {"valid", good, lumOk, 10},
      {"empty data", Reply3x({}), lumOk, 7},
      {"largest length", Reply3x(Bytes(248, 0x11)), lumOk, 255},
      {"noise first", noisy, lumOk, 13},
      {"checksum", badSum, lumErrChecksum, 9},
      {"complement checked on byte 2", badComplement, lumErrAddress, 3},
      {"length above 248", tooLong, lumErrPacketSize, 6},
      {"cut off", Bytes(good.begin(), good.end() - 1), -1, 0},
  };
  for (const auto& c : cases) {
    ReplyAssembler a;
    size_t taken = 0;
    EXPECT_EQ(FeedAll(a, c.bytes, &taken), c.code) << c.name;
    EXPECT_EQ(taken, c.taken) << c.name;
  }
}

TEST(Frame3x, DataOnlyFromACompleteValidFrame) {
  ReplyAssembler a;
  ASSERT_EQ(FeedAll(a, Reply3x({1, 2, 3})), lumOk);
  EXPECT_EQ(Bytes(a.Data().begin(), a.Data().end()), (Bytes{1, 2, 3}));
  Bytes bad = Reply3x({4, 5, 6});
  bad.back() ^= 0x80;
  ASSERT_EQ(FeedAll(a, bad), lumErrChecksum);
  EXPECT_TRUE(a.Data().empty());
  // The bytes read stay in the buffer for inspection.
  EXPECT_EQ(a.Buffer()[6], 4);
}

TEST(Frame3x, StrayBytesAreBounded) {
  for (size_t strays : {size_t{0}, size_t{255}, size_t{256}}) {
    Bytes line(strays, 0x3C);
    const Bytes good = Reply3x({1});
    line.insert(line.end(), good.begin(), good.end());
    ReplyAssembler a;
    EXPECT_EQ(FeedAll(a, line), lumOk) << strays;
  }
  ReplyAssembler a;
  size_t taken = 0;
  EXPECT_EQ(FeedAll(a, Bytes(1000, 0x3C), &taken), lumErrRead);
  EXPECT_EQ(taken, lum3x::kMaxStrayBytes + 1);
}

TEST(Frame3x, AByteAfterAResultBeginsANewFrame) {
  ReplyAssembler a;
  Bytes stream = Reply3x({1});
  stream[2] = 0;  // garbled: ends at byte 2
  const Bytes good = Reply3x({2, 3});
  stream.resize(3);
  stream.insert(stream.end(), good.begin(), good.end());
  a.Start();
  std::vector<uint32_t> results;
  for (uint8_t b : stream)
    if (auto code = a.Take(b)) results.push_back(*code);
  EXPECT_EQ(results, (std::vector<uint32_t>{lumErrAddress, lumOk}));
  EXPECT_EQ(Bytes(a.Data().begin(), a.Data().end()), (Bytes{2, 3}));
}

}  // namespace
