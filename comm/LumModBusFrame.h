// Replies of the ModBus RTU master, apart from the line: assembling one reply
// a byte at a time as it comes off the wire, learning its length from its own
// header.
//
// Reply: address, function, then by function
//   3       byte count N, N data bytes
//   6, 16   two 16-bit fields
//   17      a byte of no use, text length L, L characters
//   65      the meters' own long block, 133 bytes in all
//   other   one byte (exception replies: the exception code)
// and the CRC-16 of everything before it, low byte first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace lummodbus {

constexpr uint8_t kReadHoldingRegisters = 3;
constexpr uint8_t kWriteSingleRegister = 6;
constexpr uint8_t kWriteMultipleRegisters = 16;
constexpr uint8_t kReportSlaveId = 17;
// A function of the meters' own, with a fixed 133-byte reply.
constexpr uint8_t kReadLongBlock = 65;

// Report slave ID as the meters answer it: address, 17, a byte of no use,
// the length L of the identification, L characters, CRC.
constexpr size_t kIdLengthIndex = 3;
constexpr size_t kIdTextIndex = 4;

constexpr size_t kReceiveBufferSize = 512;
// Bytes dropped before a reply whose sender is known (StartFrom), per
// attempt: as many as the 3x master skips before its start byte.
constexpr size_t kMaxStrayBytes = 256;

// Collects one reply frame from the bytes of the line. A gap on the line is
// the caller's time-out, never the end of a frame: the frame ends where its
// header says.
class ReplyAssembler {
 public:
  // Begins a new reply. The buffer is not cleared: bytes that a shorter or
  // failed reply does not overwrite stay from earlier frames (the register
  // read judges a failed attempt by the function code left in byte 1).
  // A byte taken after a result also begins a new reply.
  void Start();
  // Begins a new reply that must come from `address` and carry `function`
  // (or its exception, the high bit set). RTU frames have no start byte, so
  // line noise before a reply (a neighbour's tail, an adapter switching
  // over) would shift the whole frame; here every byte that cannot begin
  // that header is dropped, and an address byte followed by a function that
  // does not fit was noise too. After kMaxStrayBytes dropped: lumErrRead.
  void StartFrom(uint8_t address, uint8_t function);
  // Takes the next byte off the line. Empty while the frame wants more bytes;
  // otherwise the result code (LumUtils.h): lumOk for a whole frame with a
  // good CRC, lumErrChecksum for a bad one, lumErrPacketSize for a length the
  // buffer cannot hold.
  std::optional<uint32_t> Take(uint8_t byte);
  // True while the first byte is still awaited (the packet time-out applies).
  bool AwaitingFirst() const { return position_ == 0; }
  // The length of the whole frame the last result ended with, valid or with a
  // wrong CRC (the frame a capture shows).
  size_t FrameLength() const { return expected_; }
  // The length of the last whole, valid frame; 0 when there is none.
  size_t Length() const { return complete_ ? expected_ : 0; }
  // Every byte of the buffer: the last reply, what was read of it, and what
  // earlier frames left beyond it.
  std::span<const uint8_t, kReceiveBufferSize> Buffer() const { return buffer_; }

 private:
  std::optional<uint32_t> Step(uint8_t byte);
  // False for a byte that cannot stand where it is in the awaited header.
  bool FitsHeader(uint8_t byte) const;

  std::optional<uint8_t> address_;  // the sender awaited (StartFrom)
  uint8_t function_ = 0;
  size_t strays_ = 0;

  std::array<uint8_t, kReceiveBufferSize> buffer_{};
  size_t position_ = 0;
  size_t expected_ = 5;  // until the header tells: address, function, code, CRC
  bool finished_ = false;
  bool complete_ = false;
};

}  // namespace lummodbus
