#include "sim/SimCodec.h"

#include "sim/ReplyPlan.h"

namespace metersim {

uint8_t Checksum3x(std::span<const uint8_t> bytes) {
  unsigned sum = 0;
  for (uint8_t b : bytes)
    sum += b;
  return static_cast<uint8_t>(~sum & 0xFF);
}

std::vector<uint8_t> Reply3x(uint8_t address, uint8_t group, uint8_t command,
                             std::span<const uint8_t> data) {
  std::vector<uint8_t> frame;
  frame.reserve(data.size() + 7);
  for (uint8_t b : {kReplyStart, address, static_cast<uint8_t>(~address), group, command,
                    static_cast<uint8_t>(data.size())})
    frame.push_back(b);
  frame.insert(frame.end(), data.begin(), data.end());
  frame.push_back(Checksum3x(frame));
  return frame;
}

void Reseal3x(std::vector<uint8_t>& frame) {
  if (frame.empty()) return;
  frame.back() = Checksum3x(std::span(frame).first(frame.size() - 1));
}

uint16_t ModBusCrc(std::span<const uint8_t> bytes) {
  uint16_t crc = 0xFFFF;
  for (uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) {
      const bool low = (crc & 1) != 0;
      crc = static_cast<uint16_t>(crc >> 1);
      if (low) crc ^= 0xA001;
    }
  }
  return crc;
}

void AppendCrc(std::vector<uint8_t>& frame) {
  const uint16_t crc = ModBusCrc(frame);
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
}

void ResealModBus(std::vector<uint8_t>& frame) {
  if (frame.size() < 2) return;
  frame.resize(frame.size() - 2);
  AppendCrc(frame);
}

std::vector<uint8_t> ModBusException(uint8_t address, uint8_t function, uint8_t code) {
  std::vector<uint8_t> frame{address, static_cast<uint8_t>(function | 0x80), code};
  AppendCrc(frame);
  return frame;
}

uint8_t GarbageByte(uint64_t i) {
  // A hash of the index, so that any byte of the stream can be had without
  // its predecessors.
  uint32_t x = static_cast<uint32_t>(i * 2654435761u + 12345u);
  x ^= x >> 13;
  x *= 0x5BD1E995u;
  x ^= x >> 15;
  const auto b = static_cast<uint8_t>(x & 0xFF);
  return b == kReplyStart ? 0x2A : b;
}

}  // namespace metersim
