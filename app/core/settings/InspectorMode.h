// Inspector mode: a metrology authority or a customer checks meters with the
// program and must not be able to change one. Three switches turn it on, any
// one is enough:
//   - the command line: --inspector (calibrate and calibrate-cli);
//   - the settings file: [Service] Writes=0;
//   - the installation: a file named "inspector" that the administrator puts
//     in the program's folder or in /etc/calibrate (on Windows in
//     %ProgramData%\Calibrate). What it holds does not matter.
// In this mode nothing writes to a meter: the writing commands refuse, the
// service window has no write controls, and the guarded write itself refuses
// before it connects (GuardedWrite.h), whatever front end asked.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "Settings.h"

// The installation's flag file, and the variable that names one more folder
// to look for it in. The variable can only add a place: it switches the mode
// on for a run (the tests use it), never takes the administrator's flag away.
inline constexpr const char* kInspectorFlagName = "inspector";
inline constexpr const char* kInspectorDirVariable = "CALIBRATE_INSPECTOR_DIR";

struct InspectorMode {
  bool commandLine = false;      // --inspector
  std::string settingsFile;      // the settings file that says [Service] Writes=0
  std::string installationFlag;  // the administrator's flag file found

  bool On() const { return commandLine || !settingsFile.empty() || !installationFlag.empty(); }
  // Why writing to a meter is off, in Russian, naming each switch that is
  // on; empty when it is not.
  std::string Reason() const;
};

// Where the installation's flag is looked for: the program's folder, the
// system's folder (/etc/calibrate), and the folder $CALIBRATE_INSPECTOR_DIR
// names, when it is set.
std::vector<std::filesystem::path> InspectorFlagFolders();

// The flag file in the first of folders that has one, as a path (UTF-8);
// empty when none has. A flag that cannot be looked at (no permission) counts
// as there: when in doubt, the meter is left alone.
std::string FindInspectorFlag(const std::vector<std::filesystem::path>& folders);

// The three switches as they stand for this run.
InspectorMode FindInspectorMode(
    bool commandLine, const Settings& settings,
    const std::vector<std::filesystem::path>& folders = InspectorFlagFolders());

// The mode of this process, which the guarded write obeys besides the
// installation's flag: a front end holds what it found once it knows its
// command line and settings.
void HoldInspectorMode(const InspectorMode& mode);
InspectorMode HeldInspectorMode();
