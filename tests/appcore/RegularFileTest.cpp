// Files that are not files: a FIFO (an open for reading waits for a writer
// forever), /dev/zero (never ends), a folder, a file far too large. Each is
// refused at once, with its reason; the settings file read from one gives
// the defaults and is never replaced. A hang is a failure: the test's
// time-out ends it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "app/core/base/RegularFile.h"
#include "app/core/settings/IniFile.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

TEST(RegularFile, OnlyARegularFileOfASaneSizeIsRead) {
  const std::string dir = MakeTempDir("regular");
  const std::string fifo = dir + "/fifo", big = dir + "/big.ini", ini = dir + "/ok.ini";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::ofstream(ini) << "[Journal]\nEnabled=1\n";
  std::ofstream(big) << "[Journal]\nEnabled=1\n";
  fs::resize_file(big, kDocumentFileLimit + 1);
  fs::create_symlink(ini, dir + "/link.ini");
  struct Case {
    std::string path;
    const char* why;  // empty: read
  } const cases[] = {
      {ini, ""},
      {dir + "/link.ini", ""},
      {fifo, "именованный канал"},
      {"/dev/zero", "устройство"},
      {dir, "папка"},
      {big, "слишком велик"},
      {dir + "/none.ini", "файла нет"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const auto start = std::chrono::steady_clock::now();
    std::string why;
    const auto bytes = ReadRegularFile(c.path, kDocumentFileLimit, why);
    EXPECT_EQ(bytes.has_value(), *c.why == 0) << why;
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
    if (bytes) EXPECT_EQ(*bytes, "[Journal]\nEnabled=1\n");
    IniFile settings(c.path);
    EXPECT_EQ(settings.ReadInteger("Journal", "Enabled", 7), bytes ? 1 : 7);
    // A missing file is the defaults and may be made; anything else is refused.
    const bool missing = c.path == dir + "/none.ini";
    EXPECT_EQ(settings.Unusable().empty(), bytes || missing) << settings.Unusable();
    // (Never tried on /dev/zero: a mistake would replace the device.)
    if (!bytes && !missing && c.path != "/dev/zero")
      EXPECT_FALSE(settings.WriteInteger("Journal", "Enabled", 0));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
  EXPECT_TRUE(fs::is_fifo(fifo));  // not replaced by a settings file
  EXPECT_EQ(fs::file_size(big), kDocumentFileLimit + 1);
  fs::remove_all(dir);
}
