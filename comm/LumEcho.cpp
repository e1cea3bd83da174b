#include "LumEcho.h"

std::optional<std::vector<uint8_t>> ReadEcho(TlumReplyWait& wait, TlumComPort& port,
                                             std::span<const uint8_t> sent,
                                             uint32_t packetTimeoutMs, uint32_t byteTimeoutMs) {
  std::vector<uint8_t> seen;
  for (const uint8_t expected : sent) {
    uint8_t byte = 0;
    if (!wait.Next(port, byte, seen.empty() ? packetTimeoutMs : byteTimeoutMs)) return std::nullopt;
    seen.push_back(byte);
    if (byte != expected) return seen;
  }
  return std::vector<uint8_t>{};
}
