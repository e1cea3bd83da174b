#include "app/core/settings/Settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/core/base/Cp1251.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir("calibrate-set");
    path = dir + "/Calibrate.ini";
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string dir, path;
};

TEST_F(SettingsTest, FirstRunGivesDefaultsAndCreatesNoFile) {
  Settings settings(path);
  EXPECT_EQ(settings.Port(), 1);
  EXPECT_EQ(settings.Baud(), 0);
  const TDelays delays = settings.LoadDelays();
  for (int n = 1; n <= 10; ++n)
    EXPECT_EQ(delays[static_cast<size_t>(n)], (TDelayRec{120, 350, 5}));
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(SettingsTest, ValuesWrittenAtOnceAreReadBackByAnotherObject) {
  Settings settings(path);
  ASSERT_TRUE(settings.SetPort(3));
  ASSERT_TRUE(settings.SetBaud(1));
  TDelays delays = settings.LoadDelays();
  TDelays edited = delays;
  edited[7] = {100, 300, 3};
  edited[10] = {5000, 10000, 100};
  ASSERT_TRUE(settings.SaveDelays(delays, edited));
  EXPECT_EQ(delays, edited);

  Settings again(path);
  EXPECT_EQ(again.Port(), 3);
  EXPECT_EQ(again.Baud(), 1);
  EXPECT_EQ(again.LoadDelays(), edited);
  // Saving writes all ten sections, changed or not.
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  for (int n = 1; n <= 10; ++n)
    EXPECT_NE(text.find("[Device" + std::to_string(n) + "]"), std::string::npos);
}

TEST_F(SettingsTest, HexAndBadValuesInTheFile) {
  std::ofstream(path) << "[Sealmark]\nPort=$10\nBaud=x\n[Device2]\nNB=0x64\nNP=-1\nNR=\n";
  Settings settings(path);
  EXPECT_EQ(settings.Port(), 16);
  EXPECT_EQ(settings.Baud(), 0);
  const TDelays delays = settings.LoadDelays();
  EXPECT_EQ(delays[2], (TDelayRec{100, -1, 5}));
}

TEST_F(SettingsTest, AFailedWriteNamesTheFullPathAndStopsTheSave) {
  fs::create_directory(path);  // the file's place is taken by a directory
  fs::create_directory(path + "/x");
  Settings settings(path);
  std::vector<std::string> errors;
  settings.SetOnError([&](const std::string& m) { errors.push_back(m); });
  EXPECT_FALSE(settings.SetPort(2));
  TDelays delays = settings.LoadDelays();
  TDelays edited = delays;
  edited[1] = {200, 400, 2};
  edited[2] = {210, 410, 3};
  EXPECT_FALSE(settings.SaveDelays(delays, edited));
  EXPECT_EQ(delays[1], edited[1]);                 // the failing row reached the table
  EXPECT_EQ(delays[2], (TDelayRec{120, 350, 5}));  // later rows did not
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], "Unable to write to " + path);
}

TEST(Cp1251, RoundTripsTheWholeCodePage) {
  EXPECT_EQ(Cp1251ToUtf8("\xC7\xD4\xCA-31"), "ЗФК-31");
  EXPECT_EQ(Cp1251ToUtf8("\xB9\xA8\xB8"), "№Ёё");
  EXPECT_EQ(Utf8ToCp1251("ГДЗ-12.07С"), "\xC3\xC4\xC7-12.07\xD1");
  std::string all;
  for (int b = 1; b < 256; ++b)
    if (b != 0x98) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
  EXPECT_EQ(Cp1251ToUtf8("\x98"), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToCp1251("日本\xFF"), "???");
  EXPECT_EQ(Utf8ToCp1251("\xD0"), "?");  // cut off in the middle of a character
}

}  // namespace

namespace {

// [Line] Echo: off unless the file says otherwise; any non-zero number is on.
TEST_F(SettingsTest, EchoSuppressionFromTheFile) {
  const struct {
    const char* file;
    bool on;
  } cases[] = {{"", false},
               {"[Line]\nEcho=0\n", false},
               {"[Line]\nEcho=1\n", true},
               {"[Line]\nEcho=2\n", true},
               {"[Line]\nEcho=yes\n", false}};
  for (const auto& c : cases) {
    std::ofstream(path) << c.file;
    EXPECT_EQ(Settings(path).EchoSuppression(), c.on) << c.file;
  }
  Settings settings(path);
  ASSERT_TRUE(settings.SetEchoSuppression(true));
  EXPECT_TRUE(Settings(path).EchoSuppression());
  ASSERT_TRUE(settings.SetEchoSuppression(false));
  EXPECT_FALSE(Settings(path).EchoSuppression());
}

}  // namespace
