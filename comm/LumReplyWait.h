// Waits for the bytes of a reply on the serial port, sleeping on the device
// until input comes instead of looking every 10 ms, while keeping the limits
// that the 10 ms looks have always given.
//
// The meters' time-outs are counted in looks at the line 10 ms apart: a byte
// with a limit of L ms is looked for at 0, 10, ..., L ms after the look that
// took the byte before it (or after Start), and when none of those L / 10 + 1
// looks finds it, the wait gives up 10 ms after the last one. This class
// keeps exactly those moments: it takes a byte as soon as it is there, but
// counts the next byte's limit from the look that would have taken it, and a
// wait in vain ends when the looks would have ended.
#pragma once

#include <cstdint>

#include "LuMComPort.h"

class TlumReplyWait {
 public:
  // The spacing of the looks, which is the resolution of every time-out.
  static constexpr uint32_t kLookMs = 10;

  // A new reply: the first byte's limit counts from now.
  void Start();
  // The next byte of the reply, if it arrives within limitMs (rounded down to
  // the 10 ms resolution) of the look that took the byte before. False, at
  // the moment the looks would have given up, when it does not.
  bool Next(TlumComPort& port, uint8_t& byte, uint32_t limitMs);

 private:
  // Moves to the first look at or after nowUs: the one that takes a byte
  // found there at nowUs.
  void TakenAt(uint64_t nowUs);

  uint64_t lastLookUs_ = 0;  // the look that took the previous byte, or Start
};
