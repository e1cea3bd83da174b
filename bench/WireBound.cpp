#include "WireBound.h"

namespace {

// The engines wait 10 ms before looking for a reply, and a time-out ends one
// 10 ms look after its limit.
constexpr uint64_t kTurnaroundPauseMs = 10;
constexpr uint64_t kLastPollMs = 10;
constexpr double kBitsPerByte = 10.0;

}  // namespace

uint64_t SilentAttemptMs(uint32_t packetTimeoutMs, uint32_t pauseAfterMs) {
  return kTurnaroundPauseMs + packetTimeoutMs + kLastPollMs + pauseAfterMs;
}

double WireBoundMs(const ReadTraffic& t) {
  const double byteMs = kBitsPerByte * 1000.0 / t.baud;
  return static_cast<double>(t.answeredBytes) * byteMs +
         static_cast<double>(t.answered * t.turnaroundMs) + static_cast<double>(t.silenceMs);
}
