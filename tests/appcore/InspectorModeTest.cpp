// Inspector mode's three switches as one run finds them: the settings file's
// [Service] Writes (a slip in it errs on the meter's side), the
// installation's flag in the folders looked in, and the reason that names
// each switch that is on.
#include "app/core/settings/InspectorMode.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

TEST(InspectorMode, TheSwitchesAsTheSettingsAndTheFoldersHaveThem) {
  const std::string dir = MakeTempDir("calibrate-inspector");
  const fs::path program = fs::path(dir) / "program", system = fs::path(dir) / "etc";
  fs::create_directories(program);
  fs::create_directories(system);
  const std::string ini = dir + "/Calibrate.ini";
  enum class Flag { None, File, Folder };
  struct Case {
    const char* ini;
    bool commandLine;
    Flag flag;  // what is called "inspector" in the system folder
    bool settingsOn, installationOn;
  } const cases[] = {
      {"", false, Flag::None, false, false},
      {"[Service]\nWrites=1\n", false, Flag::None, false, false},
      {"[Service]\nWrites=0\n", false, Flag::None, true, false},
      {"[service]\nwrites = 0\n", false, Flag::None, true, false},
      {"[Service]\nWrites=нет\n", false, Flag::None, true, false},
      {"[Service]\nWrites=\n", false, Flag::None, true, false},
      {"[Other]\nWrites=0\n", false, Flag::None, false, false},
      {"", true, Flag::None, false, false},
      {"", false, Flag::File, false, true},
      {"", false, Flag::Folder, false, false},  // a folder of that name is no flag
      {"[Service]\nWrites=0\n", true, Flag::File, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.ini) + (c.commandLine ? " --inspector" : "") +
                 std::to_string(static_cast<int>(c.flag)));
    std::ofstream(ini) << c.ini;
    fs::remove_all(system / kInspectorFlagName);
    if (c.flag == Flag::File) std::ofstream(system / kInspectorFlagName) << "ЦСМ\n";
    if (c.flag == Flag::Folder) fs::create_directory(system / kInspectorFlagName);
    const InspectorMode mode = FindInspectorMode(c.commandLine, Settings(ini), {program, system});
    EXPECT_EQ(mode.settingsFile, c.settingsOn ? ini : "");
    EXPECT_EQ(mode.installationFlag,
              c.installationOn ? (system / kInspectorFlagName).string() : "");
    EXPECT_EQ(mode.On(), c.commandLine || c.settingsOn || c.installationOn);
    const std::string reason = mode.Reason();
    EXPECT_EQ(reason.empty(), !mode.On()) << reason;
    EXPECT_EQ(reason.find("--inspector") != std::string::npos, c.commandLine) << reason;
    EXPECT_EQ(reason.find("[Service] Writes=0") != std::string::npos, c.settingsOn) << reason;
    EXPECT_EQ(reason.find("администратор") != std::string::npos, c.installationOn) << reason;
  }
  fs::remove_all(dir);
}

}  // namespace
