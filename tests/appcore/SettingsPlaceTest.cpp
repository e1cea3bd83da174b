#include "app/core/settings/SettingsPlace.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;

namespace {

struct Scratch {
  fs::path dir;
  Scratch() {
    dir = fs::temp_directory_path() /
          ("settings-place-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir / "program");
  }
  ~Scratch() { fs::remove_all(dir); }
  void Touch(const fs::path& file) const { std::ofstream(dir / file) << "x"; }
};

bool NotWritable(const fs::path&) {
  return false;
}

// The decision with real folders. The tests run as root, whom permission bits
// do not stop, so an unwritable program folder is either injected (the probe
// says no) or real: a folder below a regular file, which nobody can create
// anything in, root included.
TEST(SettingsPlaceTest, PortableBesideTheProgramElseTheUsersFolders) {
  struct Case {
    const char* name;
    const char* programDir;  // relative to the scratch folder
    bool iniBeside;
    bool injectReadOnly;
    bool portable;
  };
  const Case cases[] = {
      {"writable folder", "program", false, false, true},
      {"read-only folder already holding the file", "program", true, true, true},
      {"read-only folder (injected)", "program", false, true, false},
      {"folder below a regular file (real)", "blocker/bin", false, false, false},
  };
  for (const Case& c : cases) {
    Scratch s;
    s.Touch("blocker");
    if (c.iniBeside) s.Touch(fs::path(c.programDir) / "Calibrate.ini");
    const UserFolders user{s.dir / "home/.config/Calibrate", s.dir / "home/.local/share/Calibrate"};
    const fs::path program = s.dir / c.programDir;
    const SettingsPlace place = c.injectReadOnly ? ChooseSettingsPlace(program, user, NotWritable)
                                                 : ChooseSettingsPlace(program, user);
    EXPECT_EQ(place.portable, c.portable) << c.name;
    if (c.portable) {
      EXPECT_EQ(place.settingsFile, program / "Calibrate.ini") << c.name;
      EXPECT_EQ(place.journalDir, program / "journal") << c.name;
    } else {
      EXPECT_EQ(place.settingsFile, user.config / "Calibrate.ini") << c.name;
      EXPECT_EQ(place.journalDir, user.data / "journal") << c.name;
    }
    // Probing leaves nothing behind in a portable folder.
    if (c.portable && !c.iniBeside) EXPECT_TRUE(fs::is_empty(program)) << c.name;
  }
}

TEST(SettingsPlaceTest, XdgFoldersAndTheirDefaults) {
  struct Case {
    const char *config, *data, *home;
    const char *wantConfig, *wantData;
  };
  const Case cases[] = {
      {nullptr, nullptr, "/home/e", "/home/e/.config/Calibrate", "/home/e/.local/share/Calibrate"},
      {"/x/cfg", "/x/data", "/home/e", "/x/cfg/Calibrate", "/x/data/Calibrate"},
      {"", "", "/home/e", "/home/e/.config/Calibrate", "/home/e/.local/share/Calibrate"},
      // Relative values are not to be used.
      {"cfg", "data", "/home/e", "/home/e/.config/Calibrate", "/home/e/.local/share/Calibrate"},
  };
  for (const Case& c : cases) {
    const UserFolders f = XdgUserFolders(c.config, c.data, c.home);
    EXPECT_EQ(f.config, fs::path(c.wantConfig)) << (c.config ? c.config : "unset");
    EXPECT_EQ(f.data, fs::path(c.wantData)) << (c.data ? c.data : "unset");
  }
}

TEST(SettingsPlaceTest, JournalInTheUsersDataFolderOnlyForThePlacesOwnSettingsFile) {
  const SettingsPlace installed{"/home/e/.config/Calibrate/Calibrate.ini",
                                "/home/e/.local/share/Calibrate/journal", false};
  const SettingsPlace portable{"/opt/cal/Calibrate.ini", "/opt/cal/journal", true};
  struct Case {
    const SettingsPlace& place;
    fs::path settings, want;
  };
  const Case cases[] = {
      {installed, installed.settingsFile, installed.journalDir},
      {installed, "/home/e/.config/Calibrate/./Calibrate.ini", installed.journalDir},
      {installed, "/tmp/other/my.ini", "/tmp/other/journal"},  // --ini elsewhere
      {portable, portable.settingsFile, "/opt/cal/journal"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(JournalDirFor(c.settings, c.place), c.want) << c.settings;
}

TEST(SettingsPlaceTest, FirmwareIniTheUsersCopyFirstThenBesideTheProgram) {
  Scratch s;
  const fs::path own = s.dir / "own.ini", beside = s.dir / "beside.ini",
                 shared = s.dir / "shared.ini";
  EXPECT_EQ(FirstFirmwareIni({own, beside, shared}), beside);  // none: the one to name
  s.Touch("shared.ini");
  EXPECT_EQ(FirstFirmwareIni({own, beside, shared}), shared);
  s.Touch("beside.ini");
  EXPECT_EQ(FirstFirmwareIni({own, beside, shared}), beside);
  s.Touch("own.ini");
  EXPECT_EQ(FirstFirmwareIni({own, beside, shared}), own);
}

}  // namespace
