// A reply as the meter means to put it on the line: its bytes and their
// timing. The meter logic makes plans; the transports (pseudo-terminal,
// in-process device) carry them out, so both time a reply the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace metersim {

struct ReplyPlan {
  std::vector<uint8_t> bytes;
  // Quiet time from the end of the request to the start of the first byte:
  // the turnaround plus any injected delay.
  uint32_t delayMs = 0;
  // Time one byte takes on the line (ten bit times); 0 when pacing is off.
  uint32_t byteTimeUs = 0;
  // An extra pause of gapMs before byte number gapBefore (counted from 0).
  size_t gapBefore = 0;
  uint32_t gapMs = 0;
  // The line closes once the bytes are out.
  bool hangUp = false;
  // After the bytes, garbage without end at lineByteTimeUs a byte, until the
  // master sends again.
  bool garbage = false;
  uint32_t lineByteTimeUs = 0;
  // The first `echoed` bytes are the line's echo of the request, not the
  // meter's reply.
  size_t echoed = 0;

  // When byte i has fully arrived, in microseconds from the end of the request.
  uint64_t ByteDueUs(size_t i) const {
    uint64_t due = uint64_t{delayMs} * 1000 + uint64_t{byteTimeUs} * (i + 1);
    if (gapMs > 0 && i >= gapBefore) due += uint64_t{gapMs} * 1000;
    return due;
  }
  // When the garbage stream starts, in microseconds from the end of the request.
  uint64_t GarbageStartUs() const {
    return bytes.empty() ? uint64_t{delayMs} * 1000 : ByteDueUs(bytes.size() - 1);
  }
};

// Ten bit times (start, eight data bits, stop) at the given speed.
inline uint32_t ByteTimeUs(uint32_t baud) {
  return baud == 0 ? 0 : 10'000'000u / baud;
}

// Byte number i of the garbage stream: a fixed pseudo-random sequence without
// 0xAA, so that a 3x master never takes it for the start of a reply and has to
// end its wait by its own bound.
uint8_t GarbageByte(uint64_t i);

}  // namespace metersim
