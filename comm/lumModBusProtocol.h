// ModBus RTU master over the shared serial port: read holding registers
// (function 3), write multiple registers (16) and report slave ID (17).
// Registers travel high byte first; the CRC goes low byte first.
//
// Every operation sets LastError (codes in LumUtils.h) and never throws.
// The port's receive thread must be off: the engine reads the port itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "LuMComPort.h"
#include "LumFrameTap.h"
#include "LumModBusFrame.h"
#include "LumProtocol.h"
#include "LumReplyWait.h"

// The words for a ModBus exception code, for the engineer ("недопустимый адрес
// данных" for 2).
std::string_view ModBusExceptionName(uint8_t code);

class TlumModBusProtocol : public TlumProtocol {
 public:
  TlumModBusProtocol() : TlumProtocol(100) {}

  // The last request sent: "01 03 01 3B 00 02 B4 3A " (each byte and a space).
  const std::string& LastSent() const { return lastSent_; }

  // Reads count registers from start into buffer, two bytes each, high byte
  // first, bounded by the buffer's size; the buffer is untouched on failure.
  // RepeatCount attempts, 100 ms apart. True on success. A register read
  // reply with fewer than count registers fails its attempt with code 3 (one
  // with more is copied as far as the buffer goes). A reply that is not a
  // register read (an exception, say) ends with code 4.
  bool ReadHoldingRegisters(uint16_t start, uint16_t count, std::span<uint8_t> buffer);
  // Writes count (1..123) registers from the first 2 * count bytes of data,
  // in RepeatCount + 1 attempts, 100 ms apart; any reply with a good CRC ends
  // the attempts, and an exception reply (function code 0x90) fails the write
  // with code 8, its exception code in LastException: the meter refused it
  // and stored nothing. With EWrite off nothing is sent and the result is
  // true with code 0, whatever the count. Otherwise a count outside 1..123 or
  // data shorter than 2 * count sends nothing and fails with code 3.
  bool WriteMultipleRegisters(uint16_t start, uint16_t count, std::span<const uint8_t> data);
  // The exception code of the last write the meter refused (1 illegal
  // function, 2 illegal data address, ...); 0 when the last write was not
  // refused.
  uint8_t LastException() const { return lastException_; }
  // The identification text (bytes of the meter's code page; characters with
  // codes of 20 or less left out); empty after a failed transaction and
  // after a reply that is not a function-17 frame (code 0 then). Opens a
  // closed port when AutoOpenPort is set. Left as passed when no transaction
  // could start: no port assigned (code 1) or the port not open (code 6).
  void GetDevID(std::string& text);

  // Off by default: a reply is taken from its first byte on. On, bytes
  // before the reply's address and function are dropped as line noise
  // (lummodbus::ReplyAssembler::StartFrom), as the 3x engine drops those
  // before its start byte. The bus scan turns it on.
  bool SkipStrayBytes() const { return skipStrayBytes_; }
  void SetSkipStrayBytes(bool on) { skipStrayBytes_ = on; }

 private:
  static constexpr size_t kSendSize = 1024;

  // Purges the port, records LastSent and writes the frame in one go. On a
  // failed write sets code 1 and returns false; success leaves LastError.
  bool SendFrame(std::span<const uint8_t> frame);
  // Collects one reply through the assembler; its length, or 0 with
  // LastError set (2 no byte in time, 5 bad CRC, 3 longer than the buffer).
  // With echo suppression on, first reads off the echo of `sent`.
  size_t ReceiveFrame(std::span<const uint8_t> sent);
  // Code 3 when the reply is a register read with fewer than count registers.
  bool WholeRead(uint16_t count);
  // Takes the next reply byte, waiting up to limitMs for it.
  bool WaitByte(uint8_t& byte, uint32_t limitMs);
  // One attempt: the request in the first requestLength bytes of the send
  // buffer, then its reply. The reply's length, or 0 with LastError set.
  size_t Exchange(size_t requestLength);
  // Puts address, function, and the two 16-bit fields (high byte first) into
  // the send buffer; returns the length so far.
  size_t PutHeader(uint8_t function, uint16_t start, uint16_t count);
  // Appends the CRC of the first length bytes of the send buffer, low byte
  // first; returns the frame's full length.
  size_t AppendCrc(size_t length);

  std::string lastSent_;
  uint8_t lastException_ = 0;
  bool skipStrayBytes_ = false;
  std::array<uint8_t, kSendSize> sendBuf_{};
  // Its buffer is never cleared between transactions: the read's
  // function-code check looks at whatever the last reception left in byte 1.
  lummodbus::ReplyAssembler reply_;
  FrameHeard heard_{FrameProtocol::ModBusRtu};
  TlumReplyWait replyWait_;
};
