// The published properties that both protocol engines share, with the same
// defaults and setter rules; only the largest repeat count differs (24 for the
// 3x meters, 100 over ModBus).
#pragma once

#include <cstdint>

#include "LuMComPort.h"

class TlumProtocol {
 public:
  virtual ~TlumProtocol() = default;
  TlumProtocol(const TlumProtocol&) = delete;
  TlumProtocol& operator=(const TlumProtocol&) = delete;

  // The shared port that carries all traffic; not owned. nullptr is ignored.
  TlumComPort* ComPort() const { return comPort_; }
  void SetComPort(TlumComPort* port) {
    if (port) comPort_ = port;
  }
  // The meter's network address; 128..255 are ignored.
  uint8_t NetAddr() const { return netAddr_; }
  void SetNetAddr(uint8_t value) {
    if (value <= 127) netAddr_ = value;
  }
  // Wait for the first byte of a reply. Replies are timed in steps of 10 ms:
  // truncated to a multiple of 10, then kept only if 10..9990.
  uint32_t PacketTimeout() const { return packetTimeout_; }
  void SetPacketTimeout(uint32_t ms) {
    if (const uint32_t v = ms / 10 * 10; v >= 10 && v <= 9990) packetTimeout_ = v;
  }
  // Wait for each further byte: truncated to 10 ms, kept only if 10..2990.
  uint32_t ByteTimeout() const { return byteTimeout_; }
  void SetByteTimeout(uint32_t ms) {
    if (const uint32_t v = ms / 10 * 10; v >= 10 && v <= 2990) byteTimeout_ = v;
  }
  // Attempts per transaction; kept only if 1..the engine's largest.
  uint8_t RepeatCount() const { return repeatCount_; }
  void SetRepeatCount(uint8_t value) {
    if (value >= 1 && value <= maxRepeatCount_) repeatCount_ = value;
  }
  // The result code of the last operation (LumUtils.h); 0 is success.
  uint32_t LastError() const { return lastError_; }
  // The meter model (0..11); anything above 11 stores 0.
  uint32_t DeviceType() const { return deviceType_; }
  void SetDeviceType(uint32_t value) { deviceType_ = value > 11 ? 0 : value; }
  // An operation that finds the port closed opens it first.
  bool AutoOpenPort() const { return autoOpenPort_; }
  void SetAutoOpenPort(bool value) { autoOpenPort_ = value; }
  // Write enable: while off, writes send nothing and report success.
  bool EWrite() const { return eWrite_; }
  void SetEWrite(bool value) { eWrite_ = value; }
  // The line returns every request before the reply (a two-wire RS-485
  // adapter): read that echo off first (LumEcho.h). Off by default.
  bool EchoSuppression() const { return echoSuppression_; }
  void SetEchoSuppression(bool value) { echoSuppression_ = value; }

 protected:
  explicit TlumProtocol(uint8_t maxRepeatCount) : maxRepeatCount_(maxRepeatCount) {}

  // Tells the port's trace what came of attempt (from 1) of `of`, judged by
  // LastError: "3x, адрес 5, попытка 1 из 3: ответ принят", or the result's
  // words and whether another attempt follows.
  void NoteAttempt(const char* protocol, uint32_t attempt, uint32_t of) const;

  TlumComPort* comPort_ = nullptr;
  uint8_t netAddr_ = 0;
  uint32_t packetTimeout_ = 300;
  uint32_t byteTimeout_ = 40;
  uint8_t repeatCount_ = 3;
  uint32_t lastError_ = 0;
  uint32_t deviceType_ = 0;
  bool autoOpenPort_ = false;
  bool eWrite_ = false;
  bool echoSuppression_ = false;

 private:
  uint8_t maxRepeatCount_;
};
