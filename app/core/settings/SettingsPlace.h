// Where the settings file, the port map and the service journal live.
//
// A portable copy (a folder the program can write to, or one that already
// holds Calibrate.ini) keeps everything beside the program, as it always has.
// An installed program (its folder is read-only, e.g. /usr/bin) uses the
// user's own folders instead: on Linux $XDG_CONFIG_HOME/Calibrate and
// $XDG_DATA_HOME/Calibrate, on Windows %APPDATA%\Calibrate.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// The user's folders for this program (each ends in "Calibrate").
struct UserFolders {
  std::filesystem::path config;  // settings file, port map, firmware.ini override
  std::filesystem::path data;    // the journal
};

struct SettingsPlace {
  std::filesystem::path settingsFile;
  std::filesystem::path journalDir;
  bool portable = true;
};

using WritableProbe = std::function<bool(const std::filesystem::path& dir)>;

// True when a file can be created in dir: an actual create-and-remove, since
// permission bits do not tell the whole story (root, read-only mounts, ACLs).
bool CanCreateFileIn(const std::filesystem::path& dir);

// The XDG rule: $XDG_CONFIG_HOME (default ~/.config) and $XDG_DATA_HOME
// (default ~/.local/share), each with "Calibrate" appended. Relative values
// are ignored, as the XDG specification asks. Null means unset.
UserFolders XdgUserFolders(const char* xdgConfigHome, const char* xdgDataHome, const char* home);

// The current user's folders; one implementation per platform.
UserFolders CurrentUserFolders();

SettingsPlace ChooseSettingsPlace(const std::filesystem::path& programDir, const UserFolders& user,
                                  const WritableProbe& writable = CanCreateFileIn);

// The decision for the running program.
SettingsPlace CurrentSettingsPlace();

// The journal folder: "journal" beside the settings file in a portable copy,
// the user's data folder otherwise.
std::string DefaultJournalDir();

// The journal folder of the settings file settingsFile when its [Journal] Dir
// is not set: the place's journal folder when that is the place's settings
// file (an installed program keeps its journal in the user's data folder),
// else "journal" beside it (a portable copy, or a file given with --ini).
std::filesystem::path JournalDirFor(const std::filesystem::path& settingsFile,
                                    const SettingsPlace& place);

// firmware.ini: the user's own copy (in the config folder) when there is one,
// else the one beside the program, else the installed one in
// <prefix>/share/calibrate.
std::string FirmwareIniPath();

// The first of candidates that is a file; candidates[1] when none is.
std::filesystem::path FirstFirmwareIni(const std::vector<std::filesystem::path>& candidates);
