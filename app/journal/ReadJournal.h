// The journal as the front ends use it around a read: whether it is on, where
// it is and who works (from the settings file, overridden for one run on the
// command line), and the event one read makes. The window, calibrate-cli and
// the later snapshot and write commands share this, so that an event means the
// same whichever program made it.
#pragma once

#include <optional>
#include <string>

#include "JournalWriter.h"
#include "app/core/settings/IniFile.h"
#include "app/core/values/MeterReading.h"

// The journal keys of the settings file: [Journal] Enabled, Dir, Engineer,
// RequireReason.
inline constexpr const char* kJournalSection = "Journal";

struct JournalSettings {
  bool enabled = false;  // off unless asked for: a read leaves no file behind
  std::string dir;       // UTF-8
  std::string engineer;
  // A department's rule: every write names its reason ([Journal] RequireReason=1).
  bool requireReason = false;
  std::string workstation;  // [Department] Workstation (Workstation.h)
  // Inspector mode (InspectorMode.h): the events say so ("inspector": true),
  // and the report of such a session is an inspection's.
  bool inspector = false;
};

// The settings file's choice. Dir defaults to the folder "journal" beside the
// settings file, or for an installed program's own settings file to the
// user's data folder (JournalDirFor); a relative Dir is taken from the settings file's folder too,
// so that the journal does not move with the working directory.
JournalSettings LoadJournalSettings(const IniFile& ini);

// The journal folder dir (UTF-8; a relative one taken from the settings
// file's folder, as LoadJournalSettings reads it) as [Journal] Dir keeps it:
// relative to the settings file's folder when it lies there or below, so that
// a portable copy moved or copied to another disk takes its journal along;
// absolute when it lies elsewhere. Empty stays empty (the default folder).
std::string StoredJournalDir(const std::string& dir, const std::string& settingsFile);

// The command line's choice for one run: a folder turns the journal on there,
// off turns a configured journal off. Both given: off wins.
JournalSettings OverrideJournal(JournalSettings settings, const std::optional<std::string>& dir,
                                bool off);

// "calibrate-cli 1.1" for front end "calibrate-cli": the program and the
// project's version.
std::string JournalProgram(const std::string& frontEnd);

// The event of one read: kind "read", the read command's JSON object as the
// payload with "demo" and the run id "run" added (a virtual meter's read must never pass for a real
// meter's in a report), the model as identified.
JournalEvent ReadJournalEvent(const MeterReading& reading, const JournalSettings& settings,
                              const std::string& program, bool demo);

// Whether a read is worth an event: one that reached a meter. A port that did
// not open or a line where nothing answered names no meter to file it under.
bool JournalsRead(const MeterReading& reading);

// How long a read waits for another program's append to the same meter
// before it gives up the event: short, since the journal must not hold up
// the engineer's read.
inline constexpr std::chrono::milliseconds kReadJournalWait{500};

// Appends the read's event when the journal is on and the read reached a
// meter. Nullopt when nothing was to be written; otherwise the append's
// result, whose error the caller shows as a warning and nothing more.
std::optional<JournalAppendResult> JournalRead(const MeterReading& reading,
                                               const JournalSettings& settings,
                                               const std::string& program, bool demo);
