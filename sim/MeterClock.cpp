#include "sim/MeterClock.h"

#include <algorithm>

namespace metersim {

namespace {

uint8_t Bcd(unsigned v) {
  return static_cast<uint8_t>((v / 10 % 10) * 16 + v % 10);
}

// A packed BCD byte's value; nothing when a digit is above 9.
std::optional<unsigned> FromBcd(uint8_t b) {
  if ((b >> 4) > 9 || (b & 0x0F) > 9) return std::nullopt;
  return (b >> 4) * 10u + (b & 0x0Fu);
}

unsigned DaysInMonth(unsigned month, unsigned year) {
  static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// Days since 1 March of year 0 of the proleptic Gregorian calendar (the
// well-known civil-days arithmetic), and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = y / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  const int64_t era = z / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

}  // namespace

ClockBytes ClockBytesOf(const LumDateTime& t) {
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

std::optional<ClockBytes> AdvanceClock(std::span<const uint8_t, kClockBytes> set,
                                       uint64_t seconds) {
  const auto sec = FromBcd(set[0]), min = FromBcd(set[2]), hour = FromBcd(set[4]);
  const auto day = FromBcd(set[7]), month = FromBcd(set[8]), yy = FromBcd(set[9]);
  const unsigned weekday = set[6];
  if (!sec || !min || !hour || !day || !month || !yy) return std::nullopt;
  if (*sec > 59 || *min > 59 || *hour > 23 || weekday < 1 || weekday > 7) return std::nullopt;
  if (*month < 1 || *month > 12 || *day < 1 || *day > DaysInMonth(*month, 2000 + *yy))
    return std::nullopt;

  const int64_t startDay = DaysFromCivil(2000 + *yy, *month, *day);
  const uint64_t total = *hour * 3600ull + *min * 60ull + *sec + seconds;
  const int64_t days = startDay + static_cast<int64_t>(total / 86400);
  const uint64_t rest = total % 86400;
  int64_t year = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(days, year, m, d);

  ClockBytes out;
  std::copy(set.begin(), set.end(), out.begin());
  out[0] = Bcd(static_cast<unsigned>(rest % 60));
  out[2] = Bcd(static_cast<unsigned>(rest / 60 % 60));
  out[4] = Bcd(static_cast<unsigned>(rest / 3600));
  out[6] = static_cast<uint8_t>((weekday - 1 + static_cast<uint64_t>(days - startDay)) % 7 + 1);
  out[7] = Bcd(d);
  out[8] = Bcd(m);
  out[9] = Bcd(static_cast<unsigned>(year % 100));
  return out;
}

}  // namespace metersim
