// The pcapng blocks of a capture, against bytes worked out by hand from the
// format: block lengths at both ends, every field padded to 32 bits, the
// options as code, length, value.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "comm/PcapWriter.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(PcapBlocks, SectionAndInterfaceHeaders) {
  // "Calibrate" is 9 bytes: its option takes 4 + 12, then the end of
  // options 4; 28 of fixed fields make 48.
  const Bytes section = {0x0A, 0x0D, 0x0D, 0x0A, 48,   0,
                         0,    0,    0x4D, 0x3C, 0x2B, 0x1A,  // type, length, magic
                         1,    0,    0,    0,    0xFF, 0xFF,
                         0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // 1.0, no length
                         4,    0,    9,    0,    'C',  'a',
                         'l',  'i',  'b',  'r',  'a',  't',  // shb_userappl
                         'e',  0,    0,    0,    0,    0,
                         0,    0,    48,   0,    0,    0};  // end, length
  EXPECT_EQ(pcapng::SectionHeaderBlock("Calibrate"), section);
  const Bytes user1 = {1, 0, 0, 0, 20, 0, 0, 0, 148, 0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0};
  EXPECT_EQ(pcapng::InterfaceBlock(pcapng::kLinkType3x), user1);
}

TEST(PcapBlocks, PacketsArePaddedAndCarryTheirDirection) {
  // 0x0001'0203'0405'0607 us: the high half first, each half little-endian.
  const uint64_t time = 0x0001020304050607;
  struct Case {
    Bytes data;
    uint32_t flags;
    size_t padding;
  } const cases[] = {
      {{0xAA}, pcapng::kInbound, 3},
      {{0x55, 0x01, 0xFE, 0x00}, pcapng::kOutbound, 0},
      {{1, 2, 3, 4, 5, 6, 7}, pcapng::kInbound, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.data.size());
    const auto length = static_cast<uint8_t>(32 + c.data.size() + c.padding + 8 + 4);
    Bytes expected = {6, 0, 0, 0, length, 0, 0, 0, 1, 0, 0, 0,  // type, length, interface 1
                      3, 2, 1, 0, 7,      6, 5, 4};             // time high, low
    const auto n = static_cast<uint8_t>(c.data.size());
    expected.insert(expected.end(), {n, 0, 0, 0, n, 0, 0, 0});  // captured, on the line
    expected.insert(expected.end(), c.data.begin(), c.data.end());
    expected.resize(expected.size() + c.padding, 0);
    expected.insert(expected.end(), {2, 0, 4, 0, static_cast<uint8_t>(c.flags), 0, 0, 0,  // flags
                                     0, 0, 0, 0, length, 0, 0, 0});
    EXPECT_EQ(pcapng::PacketBlock(1, time, c.data, c.flags), expected);
  }
}

// A file: the section, then each link type's interface where it is first
// used, packets naming their interface by that order; empty frames left out.
TEST(PcapWriter, AnInterfacePerLinkTypeInOrderOfFirstUse) {
  const auto path = std::filesystem::temp_directory_path() / "pcapwriter-test.pcapng";
  const Bytes request = {0x01, 0x11, 0xC0, 0x2C}, reply = {0xAA, 0x01};
  {
    TPcapWriter w;
    std::string error;
    ASSERT_TRUE(w.Open(path.string(), error)) << error;
    w.OnFrame({FrameProtocol::ModBusRtu, FrameDirection::Outbound, FrameStatus::Good, 10, request});
    w.OnFrame({FrameProtocol::Lum3x, FrameDirection::Inbound, FrameStatus::TimedOut, 20, {}});
    w.OnFrame({FrameProtocol::Lum3x, FrameDirection::Inbound, FrameStatus::NoFrame, 30, reply});
    w.OnFrame({FrameProtocol::ModBusRtu, FrameDirection::Inbound, FrameStatus::Good, 40, request});
  }
  std::ifstream in(path, std::ios::binary);
  const Bytes file{std::istreambuf_iterator<char>(in), {}};
  Bytes expected = pcapng::SectionHeaderBlock("Calibrate");
  for (const Bytes& b : {pcapng::InterfaceBlock(147), pcapng::PacketBlock(0, 10, request, 2),
                         pcapng::InterfaceBlock(148), pcapng::PacketBlock(1, 30, reply, 1),
                         pcapng::PacketBlock(0, 40, request, 1)})
    expected.insert(expected.end(), b.begin(), b.end());
  EXPECT_EQ(file, expected);
  in.close();  // Windows removes no file that is open
  std::filesystem::remove(path);
}

TEST(PcapWriter, AFileThatCannotBeMadeSaysWhy) {
  TPcapWriter w;
  std::string error;
  EXPECT_FALSE(w.Open("/nonexistent-folder/capture.pcapng", error));
  EXPECT_EQ(error, "нет такой папки");
  EXPECT_FALSE(w.IsOpen());
}

}  // namespace
