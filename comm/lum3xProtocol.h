// Engine of the 3x protocol, the request/response protocol of the ZFK and GDZ
// meters: one addressed request frame, one reply frame, checked byte by byte
// under a packet time-out (first byte) and a byte time-out (each further byte),
// repeated up to RepeatCount times.
//
// Request: 55 addr ~addr group command L data[L] ~sum8(bytes 0..5+L)
// Reply:   AA addr ~addr group command L data[L] ~sum8(bytes 0..5+L)
//
// Every operation sets LastError (codes in LumUtils.h) and never throws; a
// reading operation touches the caller's buffer only on success, and never
// beyond the buffer's size.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "LuMComPort.h"
#include "Lum3xClock.h"
#include "Lum3xFrame.h"
#include "LumFrameTap.h"
#include "LumProtocol.h"
#include "LumReplyWait.h"

// Present values of a meter: four 4-byte fields, already in host byte order.
struct TSfrTek {
  std::array<uint32_t, 4> Fields{};
  // Field i (0..3) read as a single-precision float; 0 for any other i.
  float AsFloat(size_t i) const;
};

class Tlum3xProtocol : public TlumProtocol {
 public:
  Tlum3xProtocol() : TlumProtocol(24) {}

  // --- memory reads: on success the reply's data bytes, bounded by the
  // destination, are copied to it; on failure it is not touched. A reply with
  // fewer than count data bytes fails its attempt with code 3 and is asked
  // again like any other failed one. Opens a closed port when AutoOpenPort is
  // set; code 6 when it stays closed. ----------------------------------------
  void ReadRtc128(uint8_t address, std::span<uint8_t> bytes, uint8_t count);
  void ReadRtc2k(uint16_t address, std::span<uint8_t> bytes, uint8_t count);
  // The destination holds count bytes (a null pointer takes none).
  void ReadRtc2kP(uint16_t address, uint8_t* bytes, uint8_t count);
  void ReadCfg(uint16_t address, std::span<uint8_t> bytes, uint8_t count);
  void ReadRAM(uint16_t address, std::span<uint8_t> bytes, uint8_t count);
  void ReadRAMP(uint16_t address, uint8_t* bytes, uint8_t count);
  void ReadDataFlash(uint32_t address, std::span<uint8_t> bytes, uint8_t count);
  // The security block: the reply's data, whatever its length.
  void ReadSecurity(std::span<uint8_t> bytes);

  // --- memory writes: count bytes from the caller's buffer. Gated by EWrite
  // (off: nothing is sent, LastError 0) except WriteSecurity and GDZWriteGmax.
  // A count beyond the buffer, or one that would make the request's data part
  // longer than 248 bytes, gives code 3 and sends nothing. -----------------
  // Copies the reply's data back over the caller's bytes on success.
  void WriteRtc128(uint8_t address, std::span<uint8_t> bytes, uint8_t count);
  void WriteRtc2k(uint16_t address, std::span<const uint8_t> bytes, uint8_t count);
  void WriteRtc2kP(uint16_t address, const uint8_t* bytes, uint8_t count);
  void WriteCfg(uint16_t address, std::span<const uint8_t> bytes, uint8_t count);
  void WriteRAM(uint16_t address, std::span<const uint8_t> bytes, uint8_t count);
  void WriteRAMP(uint16_t address, const uint8_t* bytes, uint8_t count);
  // Group in the high byte of command, command code in the low byte.
  void CustomWriteRtc2k(uint16_t command, uint16_t address, std::span<const uint8_t> bytes,
                        uint8_t count);
  // Writes the computer's local time into the meter's clock (Rtc128 at 0).
  void SetDateTime();
  void WriteSecurity(std::span<const uint8_t, 64> bytes);
  // Channel 1 or 2 (else code 4, nothing sent); not gated by EWrite.
  void GDZWriteGmax(uint8_t channel, float value);

  // --- identification and single commands ------------------------------
  // Texts are the reply's bytes, one character each (code page 1251). Empty
  // after a failed transaction; left as passed when no transaction ran (no
  // port: code 1, port not open: code 6). GetSoftVer never opens the port.
  void GetDevID(std::string& text);
  void GetSoftVer(std::string& text);
  // The reply's first data byte in decimal ("7", "255"); a reply without data
  // gives code 3 and empty text.
  void UnlockWrite(std::string& text);
  // Sets DeviceType from the identification: 1 ZFK-31, 3 GDZ-125, 5 GDZ-127.
  uint32_t DetectDevice();
  // The reply's single data byte, or 255 (also when the reply carries any
  // other number of bytes, with code 0). Never opens the port.
  uint8_t SendCmd(uint16_t command);
  // Fills rec from the first 16 data bytes on success; leaves it alone on
  // failure. A reply with fewer than 16 bytes fails its attempt (code 3). Does
  // not check the port first: a closed port fails every attempt's write with
  // code 1.
  void GetSfrTek(TSfrTek& rec);

  // The address byte of the last valid reply. The engine takes a well-formed
  // reply whatever address it carries; a caller that must know the reply came
  // from NetAddr (the bus scan, where a slow meter's late reply can meet the
  // next address's request) compares it.
  uint8_t ReplyAddress() const { return reply_.Buffer()[1]; }

  // The pause after a failed attempt (default 200 ms, the meter's recovery).
  // A bus scan sets 0: its next request goes to another address.
  uint32_t RetryPauseMs() const { return retryPauseMs_; }
  void SetRetryPauseMs(uint32_t ms) { retryPauseMs_ = ms; }

 protected:
  // One transaction with retries: builds the request from group, command and
  // data, then up to RepeatCount attempts of send and receive, each failed one
  // followed by a 200 ms pause. Sets LastError; true when it is 0, and then
  // ReplyData() holds the reply's data. Code 1 without a port, code 3 when
  // data is longer than 248 bytes (nothing sent). A reply with fewer than
  // minReplyData data bytes fails its attempt with code 3.
  bool Transact(uint8_t group, uint8_t command, std::span<const uint8_t> data,
                size_t minReplyData = 0);
  // The data part of the last valid reply.
  std::span<const uint8_t> ReplyData() const { return reply_.Data(); }

 private:
  // Steps before a transaction: a port must be assigned (else code 1), is
  // opened when closed if allowed and AutoOpenPort is set, and must be open
  // (else code 6).
  bool PortReady(bool mayOpen);
  // The write gate: with EWrite off, code 0 and no transaction.
  bool WriteEnabled();
  bool SendFrame();
  bool ReceiveFrame();
  // Code 3 for a valid reply with fewer than minReplyData data bytes.
  bool WholeReply(size_t minReplyData);
  // The one place that waits for reply bytes: the next byte if it arrives
  // within limitMs, counted on the 10 ms looks of TlumReplyWait.
  bool AwaitByte(uint8_t& byte, uint32_t limitMs);
  bool Fail(uint32_t code);
  // Copies the reply's data, bounded by the destination.
  void Deliver(std::span<uint8_t> destination) const;
  // A read of asked bytes (0: whatever the reply carries).
  void ReadArea(uint8_t group, uint8_t command, std::span<const uint8_t> request,
                std::span<uint8_t> destination, uint8_t asked);
  bool WriteArea(uint8_t group, uint8_t command, std::span<const uint8_t> head,
                 std::span<const uint8_t> bytes, uint8_t count, bool gated);
  // Identification and version texts: the reply's bytes, one character each.
  void ReadText(uint8_t command, std::string& text, bool mayOpen);

  std::array<uint8_t, lum3x::kFrameBufferSize> request_{};
  size_t requestLength_ = 0;
  lum3x::ReplyAssembler reply_;
  FrameHeard heard_{FrameProtocol::Lum3x};
  TlumReplyWait replyWait_;
  MeterClockBytes clockBytes_{};
  uint32_t retryPauseMs_ = 200;
};
