// ModBus RTU master over the shared serial port: read holding registers
// (function 3), write multiple registers (16) and report slave ID (17).
// Registers travel high byte first; the CRC goes low byte first.
//
// Every operation sets LastError (codes in LumUtils.h) and never throws.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "LuMComPort.h"

class TlumModBusProtocol {
 public:
  TlumModBusProtocol() = default;
  virtual ~TlumModBusProtocol() = default;
  TlumModBusProtocol(const TlumModBusProtocol&) = delete;
  TlumModBusProtocol& operator=(const TlumModBusProtocol&) = delete;

  TlumComPort* ComPort() const { return comPort_; }
  void SetComPort(TlumComPort* port);  // nullptr is ignored
  uint8_t NetAddr() const { return netAddr_; }
  void SetNetAddr(uint8_t value);  // 128..255 ignored
  uint32_t PacketTimeout() const { return packetTimeout_; }
  void SetPacketTimeout(uint32_t ms);  // truncated to 10 ms; kept if 1..9999
  uint32_t ByteTimeout() const { return byteTimeout_; }
  void SetByteTimeout(uint32_t ms);  // truncated to 10 ms; kept if 1..2999
  uint8_t RepeatCount() const { return repeatCount_; }
  void SetRepeatCount(uint8_t value);  // kept if 1..100
  uint32_t LastError() const { return lastError_; }
  uint32_t DeviceType() const { return deviceType_; }
  void SetDeviceType(uint32_t value);  // above 11 stores 0
  bool AutoOpenPort() const { return autoOpenPort_; }
  void SetAutoOpenPort(bool value) { autoOpenPort_ = value; }
  bool EWrite() const { return eWrite_; }
  void SetEWrite(bool value) { eWrite_ = value; }
  // The last request sent: "01 03 01 3B 00 02 B4 3A " (each byte and a space).
  const std::string& LastSent() const { return lastSent_; }

  // Reads count registers from start into buffer, two bytes each, high byte
  // first, bounded by the buffer's size. True on success.
  bool ReadHoldingRegisters(uint16_t start, uint16_t count, std::span<uint8_t> buffer);
  // Writes count (1..123) registers from 2 * count bytes of data. With EWrite
  // off nothing is sent and the result is true with code 0.
  bool WriteMultipleRegisters(uint16_t start, uint16_t count, std::span<const uint8_t> data);
  // The identification text; empty after a failed transaction, left as passed
  // when the port cannot be opened.
  void GetDevID(std::string& text);

 private:
  // ... implementation state: send buffer 1024 bytes, receive buffer 512 ...
  TlumComPort* comPort_ = nullptr;
  uint8_t netAddr_ = 0;
  uint32_t packetTimeout_ = 300;
  uint32_t byteTimeout_ = 40;
  uint8_t repeatCount_ = 3;
  uint32_t lastError_ = 0;
  uint32_t deviceType_ = 0;
  bool autoOpenPort_ = false;
  bool eWrite_ = false;
  std::string lastSent_;
};
