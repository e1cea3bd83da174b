#include "SettingsPlace.h"

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "app/core/base/ProgramDir.h"

namespace fs = std::filesystem;

namespace {
constexpr const char* kSettingsName = "Calibrate.ini";
constexpr const char* kAppFolder = "Calibrate";

// XDG directories are POSIX paths: absolute means a leading '/', also when this
// code is built for Windows (where "/x" has no drive and is not absolute).
fs::path AbsoluteOr(const char* value, const fs::path& fallback) {
  if (value && value[0] == '/') return value;
  return fallback;
}
}  // namespace

bool CanCreateFileIn(const fs::path& dir) {
  const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path probe = dir / (".calibrate-write-probe-" + std::to_string(tick));
  bool created = false;
  {
    std::ofstream out(probe, std::ios::binary);
    created = out.is_open();
  }
  std::error_code ec;
  if (created) fs::remove(probe, ec);
  return created;
}

UserFolders XdgUserFolders(const char* xdgConfigHome, const char* xdgDataHome, const char* home) {
  const fs::path h = home && *home ? fs::path(home) : fs::path();
  return {AbsoluteOr(xdgConfigHome, h / ".config") / kAppFolder,
          AbsoluteOr(xdgDataHome, h / ".local" / "share") / kAppFolder};
}

SettingsPlace ChooseSettingsPlace(const fs::path& programDir, const UserFolders& user,
                                  const WritableProbe& writable) {
  const fs::path beside = programDir / kSettingsName;
  std::error_code ec;
  if (fs::exists(beside, ec) || writable(programDir)) return {beside, programDir / "journal", true};
  return {user.config / kSettingsName, user.data / "journal", false};
}

SettingsPlace CurrentSettingsPlace() {
  SettingsPlace place = ChooseSettingsPlace(ProgramDirectory(), CurrentUserFolders());
  // The user's folder may not exist yet; the settings are written into it at
  // the first change.
  if (!place.portable) {
    std::error_code ec;
    fs::create_directories(place.settingsFile.parent_path(), ec);
  }
  return place;
}

std::string DefaultJournalDir() {
  return CurrentSettingsPlace().journalDir.string();
}

fs::path JournalDirFor(const fs::path& settingsFile, const SettingsPlace& place) {
  if (settingsFile.lexically_normal() == place.settingsFile.lexically_normal())
    return place.journalDir;
  return settingsFile.parent_path() / "journal";
}

std::string FirmwareIniPath() {
  const fs::path programDir = ProgramDirectory();
  return FirstFirmwareIni({CurrentUserFolders().config / "firmware.ini",
                           programDir / "firmware.ini",
                           programDir.parent_path() / "share" / "calibrate" / "firmware.ini"})
      .string();
}

fs::path FirstFirmwareIni(const std::vector<fs::path>& candidates) {
  for (const auto& file : candidates) {
    std::error_code ec;
    if (fs::is_regular_file(file, ec)) return file;
  }
  // None there: the one beside the program, so that a message names it.
  return candidates.size() > 1 ? candidates[1] : fs::path();
}
