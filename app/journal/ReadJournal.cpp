#include "ReadJournal.h"

#include <filesystem>

#include "JournalFile.h"
#include "ServiceJournal.h"
#include "Workstation.h"
#include "app/core/settings/SettingsPlace.h"
#include "app/core/values/ReadJson.h"

#ifndef CALIBRATE_VERSION
#define CALIBRATE_VERSION "0"
#endif

namespace {

// folder/relative without "." and ".." steps or a trailing separator: "." is
// the folder itself.
std::filesystem::path Within(const std::filesystem::path& folder,
                             const std::filesystem::path& relative) {
  std::filesystem::path whole = (folder / relative).lexically_normal();
  if (!whole.has_filename() && whole != whole.root_path()) whole = whole.parent_path();
  return whole;
}

}  // namespace

JournalSettings LoadJournalSettings(const IniFile& ini) {
  JournalSettings s;
  s.enabled = ini.ReadInteger(kJournalSection, "Enabled", 0) != 0;
  const std::filesystem::path base = PathFromUtf8(ini.Path()).parent_path();
  const std::string dir = ini.ReadString(kJournalSection, "Dir", "");
  const std::filesystem::path chosen =
      dir.empty() ? JournalDirFor(PathFromUtf8(ini.Path()), CurrentSettingsPlace())
                  : PathFromUtf8(dir);
  s.dir = Utf8(chosen.is_absolute() ? chosen : Within(base, chosen));
  s.engineer = ini.ReadString(kJournalSection, "Engineer", "");
  s.requireReason = ini.ReadInteger(kJournalSection, "RequireReason", 0) != 0;
  s.workstation = StoredWorkstationId(ini);
  return s;
}

std::string StoredJournalDir(const std::string& dir, const std::string& settingsFile) {
  namespace fs = std::filesystem;
  if (dir.empty()) return dir;
  std::error_code ec;
  const fs::path folder = fs::absolute(PathFromUtf8(settingsFile), ec).parent_path();
  const fs::path chosen = Within(folder, PathFromUtf8(dir));  // an absolute dir stays itself
  const fs::path relative = chosen.lexically_relative(folder.lexically_normal());
  if (relative.empty() || *relative.begin() == "..") return Utf8(chosen);
  return Utf8(relative);
}

JournalSettings OverrideJournal(JournalSettings settings, const std::optional<std::string>& dir,
                                bool off) {
  if (dir) {
    settings.enabled = true;
    settings.dir = *dir;
  }
  if (off) settings.enabled = false;
  return settings;
}

std::string JournalProgram(const std::string& frontEnd) {
  return frontEnd + " " + CALIBRATE_VERSION;
}

JournalEvent ReadJournalEvent(const MeterReading& reading, const JournalSettings& settings,
                              const std::string& program, bool demo) {
  JournalEvent e = NewJournalEvent("read", settings, program, ReadCommandJson(reading), demo);
  e.port = reading.port;
  e.speed = static_cast<int>(reading.baud);
  e.address = static_cast<int>(reading.address);
  // The meter's one name, that of its MeterId, for every event of it.
  e.model = reading.model;
  e.serial = reading.serial;
  return e;
}

bool JournalsRead(const MeterReading& reading) {
  return reading.result == ReadResult::Ok;
}

std::optional<JournalAppendResult> JournalRead(const MeterReading& reading,
                                               const JournalSettings& settings,
                                               const std::string& program, bool demo) {
  if (!settings.enabled || !JournalsRead(reading)) return std::nullopt;
  const JournalWriter writer(settings.dir, kReadJournalWait);
  return writer.Append(ReadJournalEvent(reading, settings, program, demo));
}
