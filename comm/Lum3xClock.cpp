#include "Lum3xClock.h"

#include "LumUtils.h"

namespace {

// The clock keeps the year as its last two digits.
uint8_t Bcd(unsigned value) {
  return ByteToBcd(static_cast<uint8_t>(value % 100));
}

}  // namespace

MeterClockBytes EncodeMeterClock(const LumDateTime& t) {
  return {Bcd(t.Second),
          0,
          Bcd(t.Minute),
          0,
          Bcd(t.Hour),
          0,
          static_cast<uint8_t>(t.DayOfWeek + 1),
          Bcd(t.Day),
          Bcd(t.Month),
          Bcd(t.Year)};
}

std::optional<MeterClockTime> DecodeMeterClock(const MeterClockBytes& b) {
  const auto second = BcdToByte(b[0], 0, 59);
  const auto minute = BcdToByte(b[2], 0, 59);
  const auto hour = BcdToByte(b[4], 0, 23);
  const auto day = BcdToByte(b[7], 1, 31);
  const auto month = BcdToByte(b[8], 1, 12);
  const auto year = BcdToByte(b[9], 0, 99);
  if (!second || !minute || !hour || !day || !month || !year || b[6] < 1 || b[6] > 7)
    return std::nullopt;
  return MeterClockTime{*year, *month, *day, b[6], *hour, *minute, *second};
}
