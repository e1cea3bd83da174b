// The real-time clock of a 3x meter, in the layout that the clock-setting
// command writes at Rtc128 address 0: ten bytes, packed BCD seconds, 0,
// minutes, 0, hours (0 to 23), 0, day of the week (1 = Sunday to 7 =
// Saturday), day of the month, month, year modulo 100 (taken as 20yy).
//
// The bytes in memory hold the time as it was at `setAtMs`; a read shows
// them advanced by the whole seconds since. Every change of the bytes sets
// the clock anew; bytes that are no valid time stop it, and then reads give
// them back as they are, as a meter's clock chip keeps what it was given.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "comm/LumClock.h"

namespace metersim {

inline constexpr size_t kClockBytes = 10;
using ClockBytes = std::array<uint8_t, kClockBytes>;

struct MeterClock {
  bool present = false;  // the model keeps a clock
  bool running = false;  // the bytes hold a valid time
  uint64_t setAtMs = 0;  // lum::NowMs() when the bytes were last set
};

// The clock bytes of a calendar time.
ClockBytes ClockBytesOf(const LumDateTime& time);
// The bytes advanced by `seconds`; nothing when they are no valid time. The
// day of the week steps on with the days, from whatever it was set to, and
// the zero bytes keep what they were given.
std::optional<ClockBytes> AdvanceClock(std::span<const uint8_t, kClockBytes> set, uint64_t seconds);

}  // namespace metersim
