#include "MeterReading.h"

#include <cstdio>

#include "app/core/base/Cp1251.h"

namespace {

std::string Chars(const CalibrationRecordBytes& r, size_t from, size_t count) {
  return Cp1251ToUtf8(std::string(r.begin() + static_cast<std::ptrdiff_t>(from),
                                  r.begin() + static_cast<std::ptrdiff_t>(from + count)));
}

}  // namespace

std::string RecordReading::Seal() const {
  return Chars(raw, 0, 8);
}

std::string RecordReading::Licence() const {
  return Chars(raw, 4, 4);
}

std::string RecordReading::Version() const {
  // The seal's characters 1..3 are the version: "105" is 1.05.
  return Chars(raw, 1, 1) + "." + Chars(raw, 2, 2);
}

std::string RecordReading::LicenceText() const {
  return Licence() + ", v." + Version();
}

std::string RecordReading::DateText() const {
  char text[32];
  std::snprintf(text, sizeof text, "%.2x.%.2x.%.2x %.2x:%.2x:%.2x", raw[10], raw[11], raw[12],
                raw[13], raw[14], raw[15]);
  return text;
}

std::string MeterReading::IdentificationUtf8() const {
  return Cp1251ToUtf8(identification);
}

bool MeterReading::AnyCoefficientFailed() const {
  for (const ChannelReading& c : channels)
    if (c.k0.state == ValueState::Failed || c.ku.state == ValueState::Failed) return true;
  return false;
}
