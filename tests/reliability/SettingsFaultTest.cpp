// The settings file under failure: places that cannot be written, content
// that cannot be read, and several programs saving at once. Nothing may crash;
// what cannot be read gives the defaults, what cannot be written says
// "Unable to write to <path>" and leaves the old file as it was, and no save
// ever leaves a cut or mixed file behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/core/settings/Settings.h"

namespace fs = std::filesystem;

namespace {

const TDelayRec kDefaultRow{120, 350, 5};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A text with zero bytes in it, whole.
template <size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

void WriteAll(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class SettingsFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/calibrate-relXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    path = dir + "/Calibrate.ini";
  }
  void TearDown() override {
    chmod(dir.c_str(), 0700);
    fs::remove_all(dir);
  }

  // Saves port, speed and every row, collecting the error messages.
  static std::vector<std::string> SaveEverything(Settings& settings) {
    std::vector<std::string> errors;
    settings.SetOnError([&](const std::string& m) { errors.push_back(m); });
    settings.SetPort(4);
    settings.SetBaud(1);
    TDelays delays = settings.LoadDelays();
    TDelays edited = delays;
    edited[3] = {130, 360, 7};
    settings.SaveDelays(delays, edited);
    settings.SetOnError(nullptr);
    return errors;
  }

  std::string dir, path;
};

// A saved file with a value in every key, as the program writes it.
std::string FullFile(const std::string& path) {
  Settings settings(path);
  settings.SetPort(12);
  settings.SetBaud(1);
  TDelays delays = settings.LoadDelays();
  TDelays edited = delays;
  for (int n = 1; n <= 10; ++n)
    edited[static_cast<size_t>(n)] = {1000 + n, 2000 + n, 30 + n};
  settings.SaveDelays(delays, edited);
  return ReadAll(path);
}

TEST_F(SettingsFaults, PlacesThatCannotBeWrittenGiveDefaultsAndTheMessage) {
  struct Case {
    const char* what;
    std::string settingsPath;
    std::function<void()> make;
  };
  const std::string blocker = dir + "/plain-file";
  const Case cases[] = {
      {"the file replaced by a directory", path, [&] { fs::create_directory(path); }},
      {"a directory in the file's place, not empty", dir + "/full",
       [&] { fs::create_directories(dir + "/full/inside"); }},
      {"a parent that is a regular file", blocker + "/Calibrate.ini",
       [&] { WriteAll(blocker, "not a directory\n"); }},
      {"a parent that does not exist", dir + "/missing/Calibrate.ini", [] {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.make();
    Settings settings(c.settingsPath);
    EXPECT_EQ(settings.Port(), 1);
    EXPECT_EQ(settings.Baud(), 0);
    for (int n = 1; n <= 10; ++n)
      EXPECT_EQ(settings.LoadDelays()[static_cast<size_t>(n)], kDefaultRow);
    const auto errors = SaveEverything(settings);
    // Port, speed, and the save that stops at its first row.
    const std::string message = "Unable to write to " + fs::absolute(c.settingsPath).string();
    EXPECT_EQ(errors, (std::vector<std::string>{message, message, message}));
  }
  // Nothing was left beside the places: no temporary files.
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
}

// Root writes into any directory; a read-only one refuses only a user. As
// root the test forks and becomes "nobody" in the child.
TEST_F(SettingsFaults, ReadOnlyDirectoryKeepsTheOldFileAndGivesTheMessage) {
  const std::string before = FullFile(path);
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
  const bool root = geteuid() == 0;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (root && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    if (access(dir.c_str(), W_OK) == 0) _exit(3);  // still allowed to write: cannot test here
    Settings settings(path);
    if (settings.Port() != 12 || settings.LoadDelays()[5] != TDelayRec{1005, 2005, 35}) _exit(4);
    const auto errors = SaveEverything(settings);
    const std::string message = "Unable to write to " + path;
    _exit(errors == std::vector<std::string>{message, message, message} ? 0 : 5);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "no unprivileged user to be here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "4: the file could not be read; 5: wrong messages";
  EXPECT_EQ(ReadAll(path), before);
}

// A file cut anywhere, even in the middle of a line: every key reads as saved,
// as its default, or (the one cut in its digits) as the digits that remain;
// nothing else, and no crash. A save afterwards leaves a whole file again.
TEST_F(SettingsFaults, FileCutAtEveryByteReadsWhatIsLeft) {
  const std::string full = FullFile(path);
  ASSERT_GT(full.size(), 200u);
  const auto plausible = [](int32_t read, int32_t saved, int32_t fallback) {
    if (read == saved || read == fallback) return true;
    const std::string s = std::to_string(saved), r = std::to_string(read);
    return read >= 0 && s.compare(0, r.size(), r) == 0;  // a prefix of the digits
  };
  for (size_t cut = 0; cut < full.size(); ++cut) {
    SCOPED_TRACE("cut after " + std::to_string(cut) + " bytes");
    WriteAll(path, full.substr(0, cut));
    Settings settings(path);
    EXPECT_TRUE(plausible(settings.Port(), 12, 1)) << settings.Port();
    EXPECT_TRUE(plausible(settings.Baud(), 1, 0)) << settings.Baud();
    const TDelays delays = settings.LoadDelays();
    for (int n = 1; n <= 10; ++n) {
      const auto& row = delays[static_cast<size_t>(n)];
      EXPECT_TRUE(plausible(row.NB, 1000 + n, 120)) << n << " NB " << row.NB;
      EXPECT_TRUE(plausible(row.NP, 2000 + n, 350)) << n << " NP " << row.NP;
      EXPECT_TRUE(plausible(row.NR, 30 + n, 5)) << n << " NR " << row.NR;
    }
    if (cut % 37 != 0) continue;  // saving after every cut would take long
    ASSERT_TRUE(settings.SetBaud(0));
    const std::string after = ReadAll(path);
    EXPECT_EQ(after.substr(after.size() - 2), "\r\n");
    EXPECT_EQ(Settings(path).Baud(), 0);
  }
}

TEST_F(SettingsFaults, BinaryContentGivesDefaultsAndASaveStillWorks) {
  std::mt19937 random(7);
  struct Case {
    const char* what;
    std::string text;
  };
  std::string noise(64 * 1024, '\0');
  for (char& c : noise)
    c = static_cast<char>(random() & 0xFF);
  std::string noNewline(200 * 1024, 'x');
  const Case cases[] = {
      {"random bytes", noise},
      {"one long line without an end", noNewline},
      {"zero bytes", std::string(4096, '\0')},
      {"zero bytes inside the keys",
       Bytes("[Seal\0mark]\r\nPort\0=7\r\n[Device1]\r\nNB=1\0005\r\n")},
      {"carriage returns only", std::string(1000, '\r')},
      {"a byte-order mark and UTF-16", Bytes("\xFF\xFE[\0S\0e\0a\0l\0m\0a\0r\0k\0]\0")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteAll(path, c.text);
    Settings settings(path);
    EXPECT_EQ(settings.Port(), 1);
    EXPECT_EQ(settings.Baud(), 0);
    const TDelays delays = settings.LoadDelays();
    for (int n = 1; n <= 10; ++n)
      EXPECT_EQ(delays[static_cast<size_t>(n)], kDefaultRow);
    EXPECT_TRUE(SaveEverything(settings).empty());
    Settings again(path);
    EXPECT_EQ(again.Port(), 4);
    EXPECT_EQ(again.Baud(), 1);
    EXPECT_EQ(again.LoadDelays()[3], (TDelayRec{130, 360, 7}));
  }
}

// Several programs saving at once (two windows, the window and the command
// line): each process keeps writing a key of its own, its port choice and
// twice every time-out row. A save reads the file, changes it and replaces
// it; unless the saves take turns, one program's change can vanish under
// another's replacement made from an older reading. At the end every process's
// own key must hold its last value, every row must be whole (the three values
// of one save), and the file must be one that a save wrote.
TEST_F(SettingsFaults, ProgramsSavingAtOnceLoseNothingAndLeaveAWholeFile) {
  constexpr int kProcesses = 3;
  constexpr int kRounds = 10;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      Settings settings(path);
      bool ok = true;
      for (int round = 1; round <= kRounds; ++round) {
        ok = settings.Ini().WriteInteger("Race", "Process" + std::to_string(p), round) && ok;
        if (round % 2 == 0) ok = settings.SetPort(p + 1) && ok;
        if (round == kRounds / 2 || round == kRounds) {
          const int32_t v = 100 * (p + 1) + round;
          TDelays delays = settings.LoadDelays(), edited{};
          for (auto& row : edited)
            row = {v, v, v};
          ok = settings.SaveDelays(delays, edited) && ok;
        }
      }
      _exit(ok ? 0 : 1);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save failed";
  }

  Settings settings(path);
  for (int p = 0; p < kProcesses; ++p)
    EXPECT_EQ(settings.Ini().ReadInteger("Race", "Process" + std::to_string(p), 0), kRounds)
        << "process " << p << ": a save of it was lost";
  EXPECT_GE(settings.Port(), 1);
  EXPECT_LE(settings.Port(), kProcesses);
  const TDelays delays = settings.LoadDelays();
  for (int n = 1; n <= 10; ++n) {
    const auto& row = delays[static_cast<size_t>(n)];
    EXPECT_TRUE(row.NB == row.NP && row.NP == row.NR) << "row " << n << " mixed";
    EXPECT_EQ(row.NB % 100, kRounds) << "row " << n << " is not from a last save";
  }
  const std::string text = ReadAll(path);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_EQ(entry.path().filename(), "Calibrate.ini") << "left behind: " << entry.path();
}

}  // namespace
