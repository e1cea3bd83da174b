#include "SnapshotOutput.h"

#include <charconv>

#include "app/core/values/MeterSnapshotJson.h"
#include "app/core/values/ReadFields.h"
#include "app/core/values/ValueText.h"

namespace {

// The snapshot's own labels; the read's come from ReadFields.
constexpr const char* kIdentification = "Идентификация: ";
constexpr const char* kDevice = "Прибор: ";
constexpr const char* kMeterVersion = "Версия ПО прибора: ";
constexpr const char* kVersionCheck = "Сверка версии ПО: ";
constexpr const char* kClock = "Часы прибора: ";
constexpr const char* kChannel = "Канал G";
constexpr const char* kCoefficients =
    "  Коэффициенты: индекс, K [байты прибора], Obr [байты прибора]";
constexpr const char* kNoClockTime = "нет верного времени";

std::string Label(ReadField field) {
  return FieldInfo(field).label;
}

std::string Trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// The shortest decimal that gives the float back.
std::string FloatText(float v) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
  return ec == std::errc() ? std::string(text, end) : "?";
}

std::string CoefficientText(const Coefficient& c) {
  if (c.state == ValueState::Failed) return "ERR";
  return FloatText(c.stored) + " [" + HexBytes(c.raw) + "]";
}

// A line for a value the model has; none for one it lacks.
void AddValue(std::string& t, const char* label, const SnapshotValue& v) {
  if (v.state == ValueState::NotRead) return;
  t +=
      std::string("  ") + label + (v.state == ValueState::Read ? FloatText(v.value) : "ERR") + "\n";
}

void AddChannel(std::string& t, size_t n, const SnapshotChannel& c) {
  if (!c.present) return;
  t += kChannel + std::to_string(n + 1) + ":\n";
  AddValue(t, "Gmax: ", c.gmax);
  AddValue(t, "G: ", c.g);
  AddValue(t, "SFR: ", c.sfr);
  t += std::string(kCoefficients) + "\n";
  for (size_t i = 0; i < c.k.size(); ++i) {
    const std::string index = i == 0 ? "0 (K0)" : i == 1 ? "1 (Ku)" : std::to_string(i);
    t += "  " + index + ": " + CoefficientText(c.k[i]) + "  " + CoefficientText(c.obr[i]) + "\n";
  }
}

}  // namespace

ExitStatus SnapshotExitStatus(const MeterSnapshot& s) {
  if (s.result == ReadResult::PortError) return ExitStatus::PortError;
  if (s.result == ReadResult::NotFound) return ExitStatus::NotFound;
  return s.AnyFailed() ? ExitStatus::Failed : ExitStatus::Ok;
}

std::string SnapshotAsJson(const MeterSnapshot& s) {
  return DumpJson(SnapshotToJson(s), 2) + "\n";
}

std::string SnapshotAsText(const MeterSnapshot& s) {
  if (s.result == ReadResult::PortError) return {};
  MeterReading identity;
  identity.identification = s.identification;
  identity.caption = s.caption;
  std::string t = kIdentification + identity.IdentificationUtf8() + "\n";
  t += kDevice + Trimmed(identity.Caption()) + "\n";
  if (s.result == ReadResult::NotFound) return t;
  if (s.serialState != ValueState::NotRead)
    t += Label(ReadField::ELicNo) + (s.serialState == ValueState::Read ? s.serial : "ERR") + "\n";
  if (s.firmware.source != FirmwareSource::None) {
    t += Label(ReadField::EVer) + s.firmware.version + "\n";
    t += Label(ReadField::ECRC) + s.firmware.crc32 + "\n";
  }
  if (s.softVerState != ValueState::NotRead) {
    t += kMeterVersion + (s.softVerState == ValueState::Read ? s.softVer : "ERR") + "\n";
    t += kVersionCheck + std::string(FirmwareCheckText(s.firmwareCheck)) + "\n";
  }
  if (s.clock.state == ValueState::Failed) t += kClock + std::string("ERR\n");
  if (s.clock.state == ValueState::Read)
    t += kClock +
         (s.clock.Time() ? s.clock.Text() : kNoClockTime + (" [" + HexBytes(s.clock.raw) + "]")) +
         "\n";
  MeterReading record;
  record.record = s.record;
  if (s.record.state != ValueState::NotRead) {
    t += Label(ReadField::EClbLic) + FieldText(record, ReadField::EClbLic).value_or("") + "\n";
    t += Label(ReadField::EClbDate) + FieldText(record, ReadField::EClbDate).value_or("") + "\n";
  }
  for (size_t n = 0; n < s.channels.size(); ++n)
    AddChannel(t, n, s.channels[n]);
  if (!s.integrity.empty()) t += "Внимание: " + s.integrity + "\n";
  return t;
}
