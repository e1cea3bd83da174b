#include "ReadOutput.h"

#include "app/core/values/MeterReadingJson.h"
#include "app/core/values/ReadFields.h"
#include "app/core/values/ReadJson.h"

namespace {

std::string Trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b, s.find_last_not_of(' ') - b + 1);
}

}  // namespace

ExitStatus ReadExitStatus(const MeterReading& reading) {
  if (reading.result == ReadResult::PortError) return ExitStatus::PortError;
  if (reading.result == ReadResult::NotFound) return ExitStatus::NotFound;
  // A record the path reads but could not get is a failed field too; a path
  // that reads no record (the single-node GDZ) leaves it NotRead.
  const bool recordFailed = reading.record.state == ValueState::Failed;
  return reading.AnyCoefficientFailed() || recordFailed ? ExitStatus::Failed : ExitStatus::Ok;
}

std::string ReadAsJson(const MeterReading& reading) {
  return DumpJson(ReadCommandJson(reading)) + "\n";
}

std::string ReadAsText(const MeterReading& reading) {
  if (reading.result == ReadResult::PortError) return {};
  std::string t;
  t += "Идентификация: " + reading.IdentificationUtf8() + "\n";
  t += "Прибор: " + Trimmed(reading.Caption()) + "\n";
  for (const ReadFieldInfo& info : kReadFields) {
    const bool firmware = info.field == ReadField::EVer || info.field == ReadField::ECRC;
    if (firmware && !reading.identified) continue;
    t += std::string(info.label) + FieldText(reading, info.field).value_or("") + "\n";
  }
  return t;
}
