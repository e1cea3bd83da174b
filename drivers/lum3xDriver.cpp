#include "lum3xDriver.h"

#include "comm/LumUtils.h"

bool Tlum3xDriver::WholeReply(size_t expected) {
  if (!Succeeded()) return false;
  // The meter answered, but with less than was asked for: never a value made
  // of part of the bytes.
  if (ReplyData().size() < expected) {
    lastError_ = lumErrPacketSize;
    return false;
  }
  return true;
}

bool Tlum3xDriver::ClbReadClock(MeterClockBytes& clock) {
  MeterClockBytes read{};
  ReadRtc128(0, read, static_cast<uint8_t>(read.size()));
  if (!WholeReply(read.size())) return false;
  clock = read;
  return true;
}

bool Tlum3xDriver::ClbReadSoftVer(std::string& text) {
  std::string read;
  GetSoftVer(read);
  if (!Succeeded()) return false;
  text = read;
  return true;
}

bool Tlum3xDriver::ReadRtc2kWhole(uint16_t address, std::span<uint8_t> bytes) {
  ReadRtc2k(address, bytes, static_cast<uint8_t>(bytes.size()));
  return WholeReply(bytes.size());
}
