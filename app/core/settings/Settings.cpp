#include "Settings.h"

#include <filesystem>

#include "SettingsPlace.h"

Settings::Settings(std::string path) : ini_(std::move(path)) {}

std::string Settings::DefaultPath() {
  return CurrentSettingsPlace().settingsFile.string();
}

int32_t Settings::Port() const {
  return ini_.ReadInteger("Sealmark", "Port", 1);
}
int32_t Settings::Baud() const {
  return ini_.ReadInteger("Sealmark", "Baud", 0);
}
bool Settings::SetPort(int32_t port) {
  return Write("Sealmark", "Port", port);
}
bool Settings::SetBaud(int32_t baudIndex) {
  return Write("Sealmark", "Baud", baudIndex);
}
int32_t Settings::Address() const {
  const int32_t address = ini_.ReadInteger("Sealmark", "Address", 0);
  return address >= 0 && address <= 127 ? address : 0;
}
bool Settings::SetAddress(int32_t address) {
  return Write("Sealmark", "Address", address);
}

bool Settings::EchoSuppression() const {
  return ini_.ReadInteger("Line", "Echo", 0) != 0;
}
bool Settings::SetEchoSuppression(bool on) {
  return Write("Line", "Echo", on ? 1 : 0);
}

bool Settings::CsvExcel() const {
  return ini_.ReadInteger("Service", "CsvExcel", 0) != 0;
}

std::string DelaySection(int row) {
  return "Device" + std::to_string(row);
}

TDelays Settings::LoadDelays() const {
  TDelays delays{};
  for (int n = kFirstDelayRow; n <= kLastDelayRow; ++n) {
    const std::string section = DelaySection(n);
    auto& row = delays[static_cast<size_t>(n)];
    row.NB = ini_.ReadInteger(section, "NB", 120);
    row.NP = ini_.ReadInteger(section, "NP", 350);
    row.NR = ini_.ReadInteger(section, "NR", 5);
  }
  return delays;
}

ScanTimeouts Settings::LoadScanTimeouts() const {
  const ScanTimeouts defaults;
  return {ini_.ReadInteger("Scan", "PacketTimeout", defaults.packetMs),
          ini_.ReadInteger("Scan", "ByteTimeout", defaults.byteMs)};
}

double Settings::WarnChangeShare() const {
  constexpr int32_t kDefault = 5;
  const int32_t percent = ini_.ReadInteger("Service", "WarnChange", kDefault);
  return (percent >= 1 && percent <= 1000 ? percent : kDefault) / 100.0;
}

bool Settings::WritesAllowed() const {
  const std::optional<std::string> text = ini_.ReadString("Service", "Writes");
  if (!text) return true;
  const std::optional<int32_t> value = IniFile::ParseInteger(*text);
  return value && *value != 0;
}

bool Settings::SaveDelays(TDelays& delays, const TDelays& edited) {
  for (int n = kFirstDelayRow; n <= kLastDelayRow; ++n) {
    const auto i = static_cast<size_t>(n);
    delays[i] = edited[i];
    // A row goes to the file whole, or not at all.
    if (!ini_.WriteIntegers(DelaySection(n),
                            {{"NB", edited[i].NB}, {"NP", edited[i].NP}, {"NR", edited[i].NR}})) {
      ReportWriteFailure();
      return false;
    }
  }
  return true;
}

bool Settings::Write(const std::string& section, const std::string& key, int32_t value) {
  if (ini_.WriteInteger(section, key, value)) return true;
  ReportWriteFailure();
  return false;
}

void Settings::ReportWriteFailure() const {
  if (onError_) onError_("Unable to write to " + std::filesystem::absolute(Path()).string());
}
