// The clock of a 3x meter: ten bytes at address 0 of its Rtc128 area, each
// number in packed BCD (tens in the high four bits):
//   seconds, 0, minutes, 0, hours (0..23), 0, day of the week (1 = Sunday ..
//   7 = Saturday, a plain number), day, month, year modulo 100.
// SetDateTime writes this layout; a snapshot reads it back.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "LumClock.h"

using MeterClockBytes = std::array<uint8_t, 10>;

struct MeterClockTime {
  uint8_t Year = 0;       // modulo 100: the meter keeps no century
  uint8_t Month = 1;      // 1..12
  uint8_t Day = 1;        // 1..31
  uint8_t DayOfWeek = 1;  // 1 = Sunday .. 7 = Saturday
  uint8_t Hour = 0;       // 0..23
  uint8_t Minute = 0;     // 0..59
  uint8_t Second = 0;     // 0..59
  bool operator==(const MeterClockTime&) const = default;
};

MeterClockBytes EncodeMeterClock(const LumDateTime& time);
// nullopt when a field is no packed BCD number or lies outside its range, as
// in a clock that was never set (erased bytes read FF).
std::optional<MeterClockTime> DecodeMeterClock(const MeterClockBytes& bytes);
