#include "ReadOutput.h"

#include <cstdio>

#include "app/core/Cp1251.h"

namespace {

constexpr ReadField kCoefficients[] = {ReadField::Ek00, ReadField::Ek10, ReadField::Ek01,
                                       ReadField::Ek11};
constexpr const char* kCoefficientKeys[] = {"G1 K0", "G1 Ku", "G2 K0", "G2 Ku"};

std::string Trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::string JsonText(const std::optional<std::string>& text) {
  return text ? JsonString(*text) : "null";
}

// True for text that JSON takes as a number: -?digits[.digits].
bool IsJsonNumber(const std::string& t) {
  size_t i = t.size() > 0 && t[0] == '-' ? 1 : 0;
  const auto digits = [&] {
    const size_t from = i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9')
      ++i;
    return i > from;
  };
  if (!digits()) return false;
  if (i < t.size() && t[i] == '.') {
    ++i;
    if (!digits()) return false;
  }
  return i == t.size();
}

// A coefficient as JSON: its number, "ERR", or null when the path left it. A
// value that is no number (the meter holds a NaN or an infinity, as erased
// memory may) goes out as the text the field shows, so the object stays JSON.
std::string JsonCoefficient(const std::optional<std::string>& text) {
  if (!text) return "null";
  if (*text == "ERR") return "\"ERR\"";
  std::string number = Trimmed(*text);
  for (char& c : number)
    if (c == ',') c = '.';
  return IsJsonNumber(number) ? number : JsonString(number);
}

const char* ResultName(ReadResult r) {
  switch (r) {
    case ReadResult::Ok:
      return "ok";
    case ReadResult::NotFound:
      return "not_found";
    case ReadResult::PortError:
      return "port_error";
  }
  return "ok";
}

}  // namespace

int ReadExitStatus(const ReadOutcome& outcome, const RecordingView& view) {
  if (outcome.result == ReadResult::PortError) return 3;
  if (outcome.result == ReadResult::NotFound) return 4;
  for (ReadField f : kCoefficients)
    if (view.Field(f) && *view.Field(f) == "ERR") return 1;
  return 0;
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string ReadAsJson(const ReadOutcome& outcome, const RecordingView& view) {
  const bool identified = view.versionVisible;
  std::string j = "{";
  j += "\"result\": " + JsonString(ResultName(outcome.result));
  j += ", \"identification\": " + JsonString(Cp1251ToUtf8(outcome.identification));
  j += ", \"device_caption\": " + JsonString(view.caption);
  j += ", \"serial\": " + JsonText(view.Field(ReadField::ELicNo));
  for (size_t i = 0; i < 4; ++i)
    j += ", " + JsonString(kCoefficientKeys[i]) + ": " +
         JsonCoefficient(view.Field(kCoefficients[i]));
  j += ", \"firmware_version\": " + (identified ? JsonText(view.Field(ReadField::EVer)) : "null");
  j += ", \"firmware_crc32\": " + (identified ? JsonText(view.Field(ReadField::ECRC)) : "null");
  j += ", \"licence\": " + JsonText(view.Field(ReadField::EClbLic));
  j += ", \"calibrated\": " + JsonText(view.Field(ReadField::EClbDate));
  return j + "}\n";
}

std::string ReadAsText(const ReadOutcome& outcome, const RecordingView& view) {
  if (outcome.result == ReadResult::PortError) return {};
  const auto line = [&](const char* label, ReadField f) {
    return std::string(label) + view.Field(f).value_or("") + "\n";
  };
  std::string t;
  t += "Идентификация: " + Cp1251ToUtf8(outcome.identification) + "\n";
  t += "Прибор: " + Trimmed(view.caption) + "\n";
  t += line("Номер прибора: ", ReadField::ELicNo);
  t += line("G1 K0: ", ReadField::Ek00);
  t += line("G1 Ku: ", ReadField::Ek10);
  t += line("G2 K0: ", ReadField::Ek01);
  t += line("G2 Ku: ", ReadField::Ek11);
  if (view.versionVisible) {
    t += line("Версия ПО: ", ReadField::EVer);
    t += line("CRC32: ", ReadField::ECRC);
  }
  t += line("Лицензия: ", ReadField::EClbLic);
  t += line("Время, дата: ", ReadField::EClbDate);
  return t;
}
