// Captures of the line as pcapng files that Wireshark reads: a Section Header
// Block, one Interface Description Block per link type in use, and each frame
// as an Enhanced Packet Block with its time in microseconds (the format's
// default resolution, so the interface carries no if_tsresol) and its
// direction in epb_flags. ModBus RTU frames go under link type 147 (USER0:
// Wireshark decodes them with "mbrtu" once its DLT_USER table says so), the
// 3x frames under 148 (USER1, the dissector in tools/wireshark/).
//
// Blocks are written little-endian, the byte order the magic number of the
// section announces, whatever the computer's own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "LumFrameTap.h"

namespace pcapng {

constexpr uint16_t kLinkTypeModBusRtu = 147;  // LINKTYPE_USER0
constexpr uint16_t kLinkType3x = 148;         // LINKTYPE_USER1

// epb_flags: the direction in its two low bits.
constexpr uint32_t kInbound = 1;
constexpr uint32_t kOutbound = 2;

uint16_t LinkTypeOf(FrameProtocol protocol);

// The blocks as bytes: the section header (with shb_userappl naming the
// program), an interface of linkType, and a packet on interface.
std::vector<uint8_t> SectionHeaderBlock(const std::string& application);
std::vector<uint8_t> InterfaceBlock(uint16_t linkType);
std::vector<uint8_t> PacketBlock(uint32_t interface, uint64_t timeUs,
                                 std::span<const uint8_t> bytes, uint32_t flags);

}  // namespace pcapng

class TPcapWriter : public TlumFrameObserver {
 public:
  TPcapWriter() = default;
  ~TPcapWriter() override;
  TPcapWriter(const TPcapWriter&) = delete;
  TPcapWriter& operator=(const TPcapWriter&) = delete;

  // Creates (or empties) the file and writes the section header. False, with
  // the system's reason in error, when it cannot.
  bool Open(const std::string& path, std::string& error);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  // False once a write has failed (a full disk): the capture is incomplete.
  bool Failed() const { return failed_; }

  // Writes the frame's bytes as one packet (the interface of its link type
  // first, when it is new); frames without bytes are left out. Flushed at
  // once, so a run that is stopped leaves a capture that reads.
  void OnFrame(const LineFrame& frame) override;

 private:
  void Put(const std::vector<uint8_t>& block);

  std::FILE* file_ = nullptr;
  std::vector<uint16_t> interfaces_;  // link type of each interface, in order of first use
  bool failed_ = false;
};
