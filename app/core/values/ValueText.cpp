#include "ValueText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "MeterReading.h"
#include "comm/LumUtils.h"

namespace {

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
  std::string s = std::string(text, end);
  if (s.find('.') != std::string::npos) {
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
  }
  return s == "-0" ? "0" : s;
}

std::string Signed(const std::string& s) {
  return s.empty() || s[0] == '-' || s == "0" ? s : "+" + s;
}

// "09.12.2026 00:52:54": the day first and the whole year, as a Russian
// reader takes a date.
std::string Stamp(int year, int month, int day, int hour, int minute, int second) {
  char text[16];
  std::snprintf(text, sizeof text, " %02d:%02d:%02d", hour, minute, second);
  return DateText(year, month, day) + text;
}

}  // namespace

std::string FloatText(float value) {
  if (std::isnan(value)) return "не число";
  if (std::isinf(value)) return value > 0 ? "+бесконечность" : "−бесконечность";
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
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
  return std::string(text, end);
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
  return Stamp(t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second);
}

std::string JournalTimeText(const std::string& iso) {
  int y, mo, d, h, mi, s;
  char t;
  if (iso.size() < 19 ||
      std::sscanf(iso.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d", &y, &mo, &d, &t, &h, &mi, &s) != 7 ||
      (t != 'T' && t != ' '))
    return iso;
  return Stamp(y, mo, d, h, mi, s);
}

std::optional<std::string> MeterClockText(const MeterClockBytes& bytes) {
  const auto t = DecodeMeterClock(bytes);
  if (!t) return std::nullopt;
  return Stamp(2000 + t->Year, t->Month, t->Day, t->Hour, t->Minute, t->Second);
}

std::optional<std::string> RecordDateText(const CalibrationRecordBytes& r) {
  const auto year = BcdToByte(r[10], 0, 99), month = BcdToByte(r[11], 1, 12),
             day = BcdToByte(r[12], 1, 31), hour = BcdToByte(r[13], 0, 23),
             minute = BcdToByte(r[14], 0, 59), second = BcdToByte(r[15], 0, 59);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  return Stamp(2000 + *year, *month, *day, *hour, *minute, *second);
}

std::string RecordText(const CalibrationRecordBytes& r) {
  if (std::all_of(r.begin(), r.end(), [](uint8_t b) { return b == 0xFF; })) return "не записана";
  const RecordReading record{ValueState::Read, r};
  // A record begins with the Latin 'C'; anything else was not left by a
  // calibration and is shown as damaged, with what it holds.
  if (!record.Valid()) return "повреждена (\"" + record.Seal() + "\")";
  return "\"" + record.Seal() + "\" (лицензия " + record.Licence() + ", версия " +
         record.Version() + "), " + RecordDateText(r).value_or("дата не читается");
}

const char* FirmwareCheckText(FirmwareCheck check) {
  switch (check) {
    case FirmwareCheck::Match:
      return "совпадает с эталоном";
    case FirmwareCheck::Mismatch:
      return "не совпадает с эталоном";
    case FirmwareCheck::Placeholder:
      return "эталон не задан (заглушка в firmware.ini)";
    case FirmwareCheck::NoReference:
      return "нет эталона для этого прибора";
    case FirmwareCheck::Unreadable:
      return "номер версии не распознан";
    case FirmwareCheck::NotChecked:
      break;
  }
  return "не проверена";
}
