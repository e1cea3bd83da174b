#include "app/core/settings/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/core/line/PortMap.h"
#include "comm/serial/SerialDevice.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir("calibrate-ini");
    path = dir + "/Calibrate.ini";
  }
  void TearDown() override { fs::remove_all(dir); }
  void Put(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
  std::string Contents() {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  std::string dir, path;
};

TEST(IniParseInteger, DecimalAndThreeHexSpellings) {
  struct Case {
    const char* text;
    std::optional<int32_t> value;
  };
  const Case cases[] = {
      {"0", 0},
      {"120", 120},
      {" 350 ", 350},
      {"-7", -7},
      {"+5", 5},
      {"0x1F", 31},
      {"0X1f", 31},
      {"$FF", 255},
      {"$FFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", {}},
      {"0x100000000", {}},
      {"", {}},
      {"abc", {}},
      {"12abc", {}},
      {"0x", {}},
      {"$", {}},
      {"1.5", {}},
      {"0xG1", {}},
      {"99999999999", {}},
      {"000000000120", 120},
      {"0x00000000FF", 255},
      {"-0000000000001", -1},
      {"00", 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IniFile::ParseInteger(c.text), c.value) << c.text;
}

TEST_F(IniFileTest, MissingFileGivesDefaultsAndIsNotCreatedByReading) {
  IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("Sealmark", "Port", 1), 1);
  EXPECT_FALSE(ini.ReadString("Sealmark", "Port").has_value());
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(IniFileTest, SectionsAndKeysMatchWithoutRegardToCase) {
  Put("; settings\r\n[SEALMARK]\r\nport = 0x3\r\nBAUD=1\r\n[device1]\nNb=200\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("Sealmark", "Port", 1), 3);
  EXPECT_EQ(ini.ReadInteger("sealmark", "baud", 0), 1);
  EXPECT_EQ(ini.ReadInteger("Device1", "NB", 120), 200);
  EXPECT_EQ(ini.ReadInteger("Device1", "NP", 350), 350);
  EXPECT_EQ(ini.ReadInteger("Device2", "NB", 120), 120);
}

TEST_F(IniFileTest, BadContentGivesDefaultsWithoutACrash) {
  const std::string contents[] = {
      "",
      std::string("\0\xFF\xFE[\0]=\x01\x02", 10),
      "[Sealmark]\nPort=",
      "[Sealmark\nPort=5\n",
      "[Sealmark]\nPo",
      "Port=5\n",
  };
  for (const auto& text : contents) {
    Put(text);
    IniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("Sealmark", "Port", 1), 1);
  }
}

TEST_F(IniFileTest, WritesKeepOtherLinesAndReplaceValuesInPlace) {
  Put("; keep me\r\n[Sealmark]\r\nPort=1\r\nBaud=0\r\n\r\n[Other]\r\nx=y\r\n");
  IniFile ini(path);
  ASSERT_TRUE(ini.WriteInteger("SEALMARK", "port", 7));
  ASSERT_TRUE(ini.WriteInteger("Device3", "NB", 50));
  ASSERT_TRUE(ini.WriteInteger("Other", "z", -1));
  EXPECT_EQ(Contents(),
            "; keep me\r\n[Sealmark]\r\nport=7\r\nBaud=0\r\n\r\n[Other]\r\nx=y\r\nz=-1\r\n"
            "[Device3]\r\nNB=50\r\n");
  EXPECT_EQ(ini.ReadInteger("Sealmark", "Port", 1), 7);
  EXPECT_EQ(ini.ReadInteger("Device3", "nb", 0), 50);
}

TEST_F(IniFileTest, AFailedWriteReportsFalseAndLeavesTheOldFile) {
  Put("[Sealmark]\r\nPort=2\r\n");
  // The directory goes away: no temporary file can be made beside the file.
  IniFile gone(dir + "/missing/Calibrate.ini");
  EXPECT_FALSE(gone.WriteInteger("Sealmark", "Port", 3));

  // The file's path is taken by a directory: the rename must fail.
  const std::string taken = dir + "/taken.ini";
  fs::create_directory(taken);
  fs::create_directory(taken + "/inner");
  IniFile blocked(taken);
  EXPECT_FALSE(blocked.WriteInteger("Sealmark", "Port", 3));
  EXPECT_TRUE(fs::is_directory(taken));

  IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("Sealmark", "Port", 1), 2);
  // No temporary files are left behind.
  int files = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir))
    ++files;
  EXPECT_EQ(files, 2);
}

TEST_F(IniFileTest, PortMapBindsComNumbersToPathsWhereInUse) {
  Put("[Ports]\nCOM3=/dev/ttyUSB0\ncom12 = /dev/serial/by-id/usb-meter\nCOM4=\n");
  IniFile ini(path);
  if (!kPortMapInUse) {
    // Windows: a stray [Ports] section must not redirect COM3 to a path.
    EXPECT_EQ(LoadPortMap(ini), 0);
    EXPECT_EQ(lum::SerialPortName(3), "\\\\.\\COM3");
    EXPECT_EQ(lum::SerialPortName(12), "\\\\.\\COM12");
    return;
  }
  EXPECT_EQ(LoadPortMap(ini), 2);
  EXPECT_EQ(lum::SerialPortName(3), "/dev/ttyUSB0");
  EXPECT_EQ(lum::SerialPortName(12), "/dev/serial/by-id/usb-meter");
  EXPECT_EQ(lum::SerialPortName(4), "/dev/ttyS3");
  lum::UnbindSerialPort(3);
  lum::UnbindSerialPort(12);
  EXPECT_EQ(lum::SerialPortName(3), "/dev/ttyS2");
}

TEST_F(IniFileTest, SectionsComeInFileOrderAsWritten) {
  Put("; c\n[Sealmark]\nPort=1\n  [ Device1 ]\nx\n[Ports]\n[sealmark]\n[broken\n");
  EXPECT_EQ(IniFile(path).Sections(),
            (std::vector<std::string>{"Sealmark", "Device1", "Ports", "sealmark"}));
  EXPECT_TRUE(IniFile(dir + "/none.ini").Sections().empty());
}

}  // namespace
