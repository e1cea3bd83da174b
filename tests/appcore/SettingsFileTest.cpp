// The settings file under the conditions a service laptop meets: files cut
// short or filled with rubbish, a relative path, a reader looking while the
// file is being replaced.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "app/core/settings/Settings.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    // In memory where there is such a place: these tests write often, and
    // what they check does not depend on the disk.
    dir = MakeTempDir("calibrate-sf", fs::is_directory("/dev/shm") ? fs::path("/dev/shm")
                                                                   : fs::temp_directory_path());
    path = dir + "/Calibrate.ini";
  }
  void TearDown() override { fs::remove_all(dir); }
  void Put(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
  std::string dir, path;
};

const TDelayRec kDefault{120, 350, 5};

TEST_F(SettingsFile, AFileCutShortKeepsWhatIsWhole) {
  struct Case {
    const char* text;
    TDelayRec row3;
  };
  const Case cases[] = {
      {"[Device3]\r\nNB=200\r\nNP=4", {200, 4, 5}},  // a value cut short is still a number
      {"[Device3]\r\nNB=200\r\nNP=", {200, 350, 5}},
      {"[Device3]\r\nNB=200\r\nN", {200, 350, 5}},
      {"[Device3]\r\nNB=0x", {120, 350, 5}},
      {"[Device3]\r\nNB=120ms\r\nNP=$", {120, 350, 5}},
      {"[Devi", kDefault},
  };
  for (const Case& c : cases) {
    Put(c.text);
    const TDelays delays = Settings(path).LoadDelays();
    EXPECT_EQ(delays[3], c.row3) << c.text;
    for (int n : {1, 2, 4, 10})
      EXPECT_EQ(delays[static_cast<size_t>(n)], kDefault) << c.text;
  }
}

TEST_F(SettingsFile, RubbishGivesTheDefaultsWithoutACrash) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::string bytes(static_cast<size_t>(random() % 20000), '\0');
    for (char& b : bytes)
      b = static_cast<char>(random() % 7 == 0 ? "[]=\n\r;$"[random() % 7] : random());
    Put(bytes);
    Settings settings(path);
    // Whatever the rubbish spells, reading finishes and stays in range of an int.
    (void)settings.LoadDelays();
    (void)settings.Port();
  }
  Put(std::string(100000, '\0'));
  Settings settings(path);
  EXPECT_EQ(settings.Port(), 1);
  EXPECT_EQ(settings.Baud(), 0);
  EXPECT_EQ(settings.LoadDelays()[7], kDefault);
  // And the next write still works, keeping the rubbish it cannot read.
  EXPECT_TRUE(settings.SetBaud(1));
  EXPECT_EQ(Settings(path).Baud(), 1);
}

TEST_F(SettingsFile, AFailedWriteNamesTheFullPathEvenForARelativeOne) {
  const fs::path cwd = fs::current_path();
  fs::current_path(dir);
  Settings settings("missing/Calibrate.ini");
  std::string message;
  settings.SetOnError([&](const std::string& m) { message = m; });
  EXPECT_FALSE(settings.SetPort(3));
  fs::current_path(cwd);
  EXPECT_EQ(message,
            "Unable to write to " + fs::absolute(fs::path(dir) / "missing/Calibrate.ini").string());
}

TEST_F(SettingsFile, WrittenInDecimalWhateverWasReadAndNegativesKept) {
  Put("[Device2]\r\nNB=$C8\r\n");
  Settings settings(path);
  TDelays delays = settings.LoadDelays();
  EXPECT_EQ(delays[2].NB, 200);
  TDelays edited = delays;
  edited[2].NP = -20;
  ASSERT_TRUE(settings.SaveDelays(delays, edited));
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("[Device2]\r\nNB=200\r\nNP=-20\r\nNR=5\r\n"), std::string::npos) << text;
  EXPECT_EQ(Settings(path).LoadDelays()[2], (TDelayRec{200, -20, 5}));
}

TEST_F(SettingsFile, AReaderNeverSeesAHalfWrittenFile) {
  Settings settings(path);
  TDelays delays = settings.LoadDelays();
  TDelays edited = delays;
  for (int n = 1; n <= 10; ++n)
    edited[static_cast<size_t>(n)].NB = 120 + n;
  ASSERT_TRUE(settings.SetPort(1));
  ASSERT_TRUE(settings.SaveDelays(delays, edited));

  // While the writer replaces the file key by key with the same rows, every
  // look at it must find all of them: a file rewritten in place would now and
  // then be caught empty or cut short.
  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, looks{0};
  std::thread reader([&] {
    while (!done || looks == 0) {
      Settings other(path);
      const TDelays seen = other.LoadDelays();
      for (int n = 1; n <= 10; ++n)
        torn += seen[static_cast<size_t>(n)].NB != 120 + n;
      torn += !other.Ini().ReadString("Sealmark", "Port").has_value();
      ++looks;
      // Another program looks now and then, not without pause: a reader that
      // never lets go would starve the writer on Windows, which cannot
      // replace a file while it is open.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(settings.SetPort(1 + round % 32));
    ASSERT_TRUE(settings.SaveDelays(delays, edited));
  }
  done = true;
  reader.join();
  EXPECT_EQ(torn, 0);
  EXPECT_GT(looks, 0);
  // No temporary files are left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
}

TEST(SettingsPath, BesideTheProgram) {
  const fs::path p = Settings::DefaultPath();
  EXPECT_EQ(p.filename(), "Calibrate.ini");
  EXPECT_TRUE(fs::exists(p.parent_path() / "test_appcore") ||
              fs::exists(p.parent_path() / "test_appcore.exe"));
}

}  // namespace
