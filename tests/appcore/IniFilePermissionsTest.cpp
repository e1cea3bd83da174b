// The settings file when the system refuses to read it (POSIX permissions).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/core/settings/IniFile.h"
#include "support/TempDir.h"

namespace {

TEST(IniFilePermissions, AFileThatCannotBeReadIsNotReplaced) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
  const std::string dir = MakeTempDir("calibrate-ini");
  const std::string path = dir + "/Calibrate.ini";
  std::ofstream(path, std::ios::binary) << "[Sealmark]\r\nPort=2\r\n[Device1]\r\nNB=200\r\n";
  chmod(path.c_str(), 0200);
  IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("Sealmark", "Port", 1), 1);  // unreadable: the default
  EXPECT_FALSE(ini.WriteInteger("Sealmark", "Baud", 1));
  chmod(path.c_str(), 0600);
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
            "[Sealmark]\r\nPort=2\r\n[Device1]\r\nNB=200\r\n");
  in.close();
  std::filesystem::remove_all(dir);
}

}  // namespace
