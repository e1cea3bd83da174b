#include "ReadFields.h"

#include <charconv>

const std::array<ReadFieldInfo, kReadFieldCount> kReadFields = {{
    {ReadField::ELicNo, "Номер прибора: ", "serial"},
    {ReadField::Ek00, "G1 K0: ", "G1 K0"},
    {ReadField::Ek10, "G1 Ku: ", "G1 Ku"},
    {ReadField::Ek01, "G2 K0: ", "G2 K0"},
    {ReadField::Ek11, "G2 Ku: ", "G2 Ku"},
    {ReadField::EVer, "Версия ПО: ", "firmware_version"},
    {ReadField::ECRC, "CRC32: ", "firmware_crc32"},
    {ReadField::EClbLic, "Лицензия: ", "licence"},
    {ReadField::EClbDate, "Время, дата: ", "calibrated"},
}};

const std::array<CoefficientField, 4> kCoefficientFields = {{
    {ReadField::Ek00, 0, true},
    {ReadField::Ek10, 0, false},
    {ReadField::Ek01, 1, true},
    {ReadField::Ek11, 1, false},
}};

const ReadFieldInfo& FieldInfo(ReadField field) {
  for (const auto& info : kReadFields)
    if (info.field == field) return info;
  return kReadFields[0];
}

const Coefficient& CoefficientOf(const MeterReading& reading, const CoefficientField& f) {
  const ChannelReading& channel = reading.channels[f.channel];
  return f.k0 ? channel.k0 : channel.ku;
}

double ShownOf(const MeterReading& reading, const CoefficientField& f) {
  const ChannelReading& channel = reading.channels[f.channel];
  return f.k0 ? channel.k0Shown : channel.kuShown;
}

std::string FormatShown(double value, char decimalSeparator) {
  // "%8.5f", but independent of the C locale the toolkit may have set (the
  // separator is ours to choose) and never cut short: the product of two
  // floats can run to some 80 digits before the point.
  std::array<char, 400> text{};
  const auto [end, ec] =
      std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, 5);
  std::string s = ec == std::errc() ? std::string(text.data(), end) : std::string("ERR");
  for (char& c : s)
    if (c == '.') c = decimalSeparator;
  if (s.size() < 8) s.insert(0, 8 - s.size(), ' ');
  return s;
}

namespace {

std::optional<std::string> CoefficientText(const Coefficient& c, double shown, char separator) {
  switch (c.state) {
    case ValueState::NotRead:
      return std::nullopt;
    case ValueState::Failed:
      return "ERR";
    case ValueState::Read:
      break;
  }
  return FormatShown(shown, separator);
}

std::optional<std::string> RecordText(const RecordReading& r, bool licence) {
  if (r.state != ValueState::Read) return kNoRecordText;
  if (!r.Valid()) return licence ? kBadRecordText : "";
  return licence ? r.LicenceText() : r.DateText();
}

}  // namespace

std::optional<std::string> FieldText(const MeterReading& reading, ReadField field,
                                     char decimalSeparator) {
  for (const CoefficientField& f : kCoefficientFields)
    if (f.field == field)
      return CoefficientText(CoefficientOf(reading, f), ShownOf(reading, f), decimalSeparator);
  switch (field) {
    case ReadField::ELicNo:
      if (reading.serialState == ValueState::NotRead) return std::nullopt;
      return reading.serial;
    case ReadField::EVer:
    case ReadField::ECRC:
      if (!reading.identified) return std::nullopt;
      return field == ReadField::EVer ? reading.firmware.version : reading.firmware.crc32;
    case ReadField::EClbLic:
    case ReadField::EClbDate:
      // The record fields are filled after every read that opened the port.
      if (reading.result == ReadResult::PortError) return std::nullopt;
      return RecordText(reading.record, field == ReadField::EClbLic);
    default:
      return std::nullopt;
  }
}
