// Frames of the 3x protocol, apart from the line: building a request and
// assembling a reply one byte at a time as it comes off the wire.
//
// Request: 55 addr ~addr group command L data[L] sum
// Reply:   AA addr ~addr group command L data[L] sum
// where sum is the bitwise NOT of the 8-bit sum of every byte before it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace lum3x {

constexpr uint8_t kRequestStart = 0x55;
constexpr uint8_t kReplyStart = 0xAA;
// Start, address, complement, group, command, length and checksum.
constexpr size_t kFrameOverhead = 7;
// The largest data part: a whole frame stays within 255 bytes.
constexpr size_t kMaxData = 248;
constexpr size_t kFrameBufferSize = 256;
// Stray bytes skipped while waiting for the reply's start byte, per attempt.
// More than any frame (so an echoed request of any length can be skipped);
// a line that keeps chattering fails the attempt instead of holding it.
constexpr size_t kMaxStrayBytes = 256;

// Bitwise NOT of the 8-bit sum of the bytes.
uint8_t Checksum(std::span<const uint8_t> bytes);

// Writes the request frame into frame and returns its length; 0 (nothing
// written) when the data part is longer than kMaxData or frame is too small.
size_t BuildRequest(std::span<uint8_t> frame, uint8_t address, uint8_t group, uint8_t command,
                    std::span<const uint8_t> data);

// Collects one reply frame from the bytes of the line, checking it as it grows:
// bytes before the start byte are dropped, the address complement is checked as
// soon as it arrives, the length byte decides where the frame ends, and the
// checksum is checked on the last byte.
class ReplyAssembler {
 public:
  // Begins a new reply; the bytes of the previous one stay until overwritten.
  // A byte taken after a result also begins a new reply.
  void Start();
  // Takes the next byte off the line. Empty while the frame wants more bytes;
  // otherwise the result code (LumUtils.h): lumOk for a whole, valid frame,
  // lumErrAddress, lumErrPacketSize, lumErrChecksum, or lumErrRead after too
  // many stray bytes.
  std::optional<uint32_t> Take(uint8_t byte);
  // True while the start byte is still awaited (the packet time-out applies).
  bool AwaitingStart() const { return position_ == 0; }
  // The length of the whole frame the last result ended with, valid or with a
  // wrong checksum (the frame a capture shows).
  size_t FrameLength() const { return expected_; }
  // The data part of the last complete, valid frame.
  std::span<const uint8_t> Data() const;
  // Every byte of the buffer, the last reply or what was read of it.
  std::span<const uint8_t, kFrameBufferSize> Buffer() const { return buffer_; }

 private:
  std::optional<uint32_t> Step(uint8_t byte);

  std::array<uint8_t, kFrameBufferSize> buffer_{};
  size_t position_ = 0;
  size_t expected_ = kFrameOverhead;
  size_t strays_ = 0;
  bool finished_ = false;
  bool complete_ = false;
};

}  // namespace lum3x
