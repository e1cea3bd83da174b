#include "ValueText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "app/core/base/Cp1251.h"

namespace {

std::string Chars(const char* begin, const char* end) {
  return std::string(begin, end);
}

// Decimal places a shortest text shows: "0.00251" 5, "163.9" 1, "1.5e-10" 11.
int PlacesOf(const std::string& text) {
  const auto e = text.find('e');
  const std::string mantissa = text.substr(0, e);
  const auto point = mantissa.find('.');
  int places = point == std::string::npos ? 0 : static_cast<int>(mantissa.size() - point - 1);
  if (e != std::string::npos) places -= std::atoi(text.c_str() + e + 1);
  return std::clamp(places, 0, 60);
}

std::string Fixed(double value, int places) {
  char text[400];
  const auto [end, ec] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, places);
  if (ec != std::errc()) return "?";
  std::string s = Chars(text, end);
  if (s.find('.') != std::string::npos) {
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
  }
  return s == "-0" ? "0" : s;
}

std::string Signed(const std::string& s) {
  return s.empty() || s[0] == '-' || s == "0" ? s : "+" + s;
}

int Bcd(uint8_t b) {
  return (b >> 4) <= 9 && (b & 0x0F) <= 9 ? (b >> 4) * 10 + (b & 0x0F) : -1;
}

}  // namespace

std::string FloatText(float value) {
  if (std::isnan(value)) return "не число";
  if (std::isinf(value)) return value > 0 ? "+бесконечность" : "−бесконечность";
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return Chars(text, end);
}

std::string NumberText(double value) {
  if (!std::isfinite(value)) return FloatText(static_cast<float>(value));
  const float f = static_cast<float>(value);
  if (std::isfinite(f)) {
    // A float written as its shortest decimal reads back as exactly that.
    const std::string shortest = FloatText(f);
    double back = 0;
    std::from_chars(shortest.data(), shortest.data() + shortest.size(), back);
    if (back == value || static_cast<double>(f) == value) return shortest;
  }
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return Chars(text, end);
}

std::string DifferenceText(float from, float to) {
  if (!std::isfinite(from) || !std::isfinite(to)) return "—";
  // Two floats differ exactly in double precision unless they lie far apart,
  // where the rounding below is far coarser than any error.
  const double d = static_cast<double>(to) - static_cast<double>(from);
  const int places = std::max(PlacesOf(FloatText(from)), PlacesOf(FloatText(to)));
  if (d != 0 && std::fabs(d) < std::pow(10.0, -places) / 2) return Signed(NumberText(d));
  return Signed(Fixed(d, places));
}

double RelativeChange(float from, float to) {
  if (from == to) return 0;
  if (from == 0) return INFINITY;
  return std::fabs((static_cast<double>(to) - from) / from);
}

std::string ShareText(float from, float to) {
  if (from == 0 || !std::isfinite(from) || !std::isfinite(to)) return {};
  const double percent = (static_cast<double>(to) - from) / std::fabs(from) * 100;
  const double shown = std::fabs(percent);
  std::string s = shown >= 100 ? Fixed(shown, 0) : shown >= 0.01 ? Fixed(shown, 2) : "0";
  if (s == "0" && percent != 0) return "<0.01 %";
  return (percent < 0 ? "−" : percent > 0 ? "+" : "") + s + " %";
}

std::string DateText(int year, int month, int day) {
  char text[24];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", day, month, year);
  return text;
}

std::string DateTimeText(const LumDateTime& t) {
  char text[16];
  std::snprintf(text, sizeof text, " %02d:%02d:%02d", t.Hour, t.Minute, t.Second);
  return DateText(t.Year, t.Month, t.Day) + text;
}

std::string JournalTimeText(const std::string& iso) {
  int y, mo, d, h, mi, s;
  char t;
  if (iso.size() < 19 ||
      std::sscanf(iso.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d", &y, &mo, &d, &t, &h, &mi, &s) != 7 ||
      (t != 'T' && t != ' '))
    return iso;
  LumDateTime dt;
  dt.Year = static_cast<uint16_t>(y);
  dt.Month = static_cast<uint8_t>(mo);
  dt.Day = static_cast<uint8_t>(d);
  dt.Hour = static_cast<uint8_t>(h);
  dt.Minute = static_cast<uint8_t>(mi);
  dt.Second = static_cast<uint8_t>(s);
  return DateTimeText(dt);
}

std::optional<std::string> MeterClockText(const MeterClockBytes& bytes) {
  const auto t = DecodeMeterClock(bytes);
  if (!t) return std::nullopt;
  LumDateTime dt;
  dt.Year = static_cast<uint16_t>(2000 + t->Year);
  dt.Month = t->Month;
  dt.Day = t->Day;
  dt.Hour = t->Hour;
  dt.Minute = t->Minute;
  dt.Second = t->Second;
  return DateTimeText(dt);
}

std::optional<std::string> RecordDateText(const CalibrationRecordBytes& r) {
  int f[6];
  for (size_t i = 0; i < 6; ++i)
    f[i] = Bcd(r[10 + i]);
  if (std::any_of(f, f + 6, [](int v) { return v < 0; }) || f[1] < 1 || f[1] > 12 || f[2] < 1 ||
      f[2] > 31 || f[3] > 23 || f[4] > 59 || f[5] > 59)
    return std::nullopt;
  LumDateTime dt;
  dt.Year = static_cast<uint16_t>(2000 + f[0]);
  dt.Month = static_cast<uint8_t>(f[1]);
  dt.Day = static_cast<uint8_t>(f[2]);
  dt.Hour = static_cast<uint8_t>(f[3]);
  dt.Minute = static_cast<uint8_t>(f[4]);
  dt.Second = static_cast<uint8_t>(f[5]);
  return DateTimeText(dt);
}

std::string RecordText(const CalibrationRecordBytes& r) {
  if (std::all_of(r.begin(), r.end(), [](uint8_t b) { return b == 0xFF; })) return "не записана";
  const auto chars = [&](size_t from, size_t n) {
    return Cp1251ToUtf8(std::string(r.begin() + static_cast<std::ptrdiff_t>(from),
                                    r.begin() + static_cast<std::ptrdiff_t>(from + n)));
  };
  // A record begins with the Latin 'C'; anything else was not left by a
  // calibration and is shown as damaged, with what it holds.
  if (r[0] != 'C') return "повреждена (\"" + chars(0, 8) + "\")";
  const auto date = RecordDateText(r);
  return "\"" + chars(0, 8) + "\" (лицензия " + chars(4, 4) + ", версия " + chars(1, 1) + "." +
         chars(2, 2) + "), " + date.value_or("дата не читается");
}
