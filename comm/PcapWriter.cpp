#include "PcapWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace pcapng {

namespace {

constexpr uint32_t kSectionHeader = 0x0A0D0D0A;
constexpr uint32_t kInterfaceDescription = 0x00000001;
constexpr uint32_t kEnhancedPacket = 0x00000006;
constexpr uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr uint16_t kOptEndOfOpt = 0;
constexpr uint16_t kShbUserAppl = 4;
constexpr uint16_t kEpbFlags = 2;

void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, static_cast<uint16_t>(v));
  Put16(b, static_cast<uint16_t>(v >> 16));
}
// Bytes, then zeros up to the next multiple of 4: every field of a block is
// aligned to 32 bits.
void PutPadded(std::vector<uint8_t>& b, std::span<const uint8_t> bytes) {
  b.insert(b.end(), bytes.begin(), bytes.end());
  b.resize(b.size() + (4 - bytes.size() % 4) % 4, 0);
}
void PutOption(std::vector<uint8_t>& b, uint16_t code, std::span<const uint8_t> value) {
  Put16(b, code);
  Put16(b, static_cast<uint16_t>(value.size()));
  PutPadded(b, value);
}
// Starts a block: its type and room for the length, filled in by Finish.
std::vector<uint8_t> Begin(uint32_t type) {
  std::vector<uint8_t> b;
  Put32(b, type);
  Put32(b, 0);
  return b;
}
// The length goes both after the type and at the very end, so that a
// reader can walk the file backwards too.
std::vector<uint8_t> Finish(std::vector<uint8_t> b) {
  const auto length = static_cast<uint32_t>(b.size() + 4);
  Put32(b, length);
  for (size_t i = 0; i < 4; ++i)
    b[4 + i] = static_cast<uint8_t>(length >> (8 * i));
  return b;
}

}  // namespace

uint16_t LinkTypeOf(FrameProtocol protocol) {
  return protocol == FrameProtocol::ModBusRtu ? kLinkTypeModBusRtu : kLinkType3x;
}

std::vector<uint8_t> SectionHeaderBlock(const std::string& application) {
  auto b = Begin(kSectionHeader);
  Put32(b, kByteOrderMagic);
  Put16(b, 1);  // version 1.0
  Put16(b, 0);
  Put32(b, 0xFFFFFFFF);  // section length not given: -1 as 64 bits
  Put32(b, 0xFFFFFFFF);
  PutOption(b, kShbUserAppl,
            std::span(reinterpret_cast<const uint8_t*>(application.data()), application.size()));
  PutOption(b, kOptEndOfOpt, {});
  return Finish(std::move(b));
}

std::vector<uint8_t> InterfaceBlock(uint16_t linkType) {
  auto b = Begin(kInterfaceDescription);
  Put16(b, linkType);
  Put16(b, 0);  // reserved
  Put32(b, 0);  // no snapshot length: every frame is kept whole
  return Finish(std::move(b));
}

std::vector<uint8_t> PacketBlock(uint32_t interface, uint64_t timeUs,
                                 std::span<const uint8_t> bytes, uint32_t flags) {
  auto b = Begin(kEnhancedPacket);
  Put32(b, interface);
  Put32(b, static_cast<uint32_t>(timeUs >> 32));
  Put32(b, static_cast<uint32_t>(timeUs));
  Put32(b, static_cast<uint32_t>(bytes.size()));  // captured
  Put32(b, static_cast<uint32_t>(bytes.size()));  // on the line
  PutPadded(b, bytes);
  uint8_t value[4];
  for (int i = 0; i < 4; ++i)
    value[i] = static_cast<uint8_t>(flags >> (8 * i));
  PutOption(b, kEpbFlags, value);
  PutOption(b, kOptEndOfOpt, {});
  return Finish(std::move(b));
}

}  // namespace pcapng

namespace {

// Why a file could not be made, in the engineer's words where we have them.
std::string FileErrorText(int code) {
  switch (code) {
    case ENOENT:
    case ENOTDIR:
      return "нет такой папки";
    case EACCES:
    case EPERM:
      return "нет прав на запись";
    case EISDIR:
      return "это папка";
    case ENOSPC:
      return "нет места на диске";
    case EROFS:
      return "диск только для чтения";
    default:
      return std::strerror(code);
  }
}

}  // namespace

TPcapWriter::~TPcapWriter() {
  Close();
}

bool TPcapWriter::Open(const std::string& path, std::string& error) {
  Close();
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) {
    error = FileErrorText(errno);
    return false;
  }
  interfaces_.clear();
  failed_ = false;
  Put(pcapng::SectionHeaderBlock("Calibrate"));
  if (failed_) error = FileErrorText(errno);
  return !failed_;
}

void TPcapWriter::Close() {
  if (file_ && std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
}

void TPcapWriter::OnFrame(const LineFrame& frame) {
  if (!file_ || frame.bytes.empty()) return;
  const uint16_t linkType = pcapng::LinkTypeOf(frame.protocol);
  auto found = std::find(interfaces_.begin(), interfaces_.end(), linkType);
  if (found == interfaces_.end()) {
    Put(pcapng::InterfaceBlock(linkType));
    interfaces_.push_back(linkType);
    found = interfaces_.end() - 1;
  }
  const auto interface = static_cast<uint32_t>(found - interfaces_.begin());
  const uint32_t flags =
      frame.direction == FrameDirection::Inbound ? pcapng::kInbound : pcapng::kOutbound;
  Put(pcapng::PacketBlock(interface, frame.timeUs, frame.bytes, flags));
  if (std::fflush(file_) != 0) failed_ = true;
}

void TPcapWriter::Put(const std::vector<uint8_t>& block) {
  if (std::fwrite(block.data(), 1, block.size(), file_) != block.size()) failed_ = true;
}
