#include "app/core/settings/DevManager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "support/TempDir.h"

namespace {

TEST(DevManager, NameListsAreTwelveLongAndKeepTheirOddEntries) {
  EXPECT_EQ(DeviceDisplayNames[0], "Нет");
  EXPECT_EQ(DeviceDisplayNames[6], "ЗФК-31К");
  EXPECT_EQ(DeviceDisplayNames[11], "ЗФК-М7");
  EXPECT_EQ(DeviceLatinNames[2], "ГДЗ-12.05");
  EXPECT_EQ(DeviceLatinNames[6], "ЗФК-30");
  EXPECT_EQ(DeviceShortCodes[8], "G1103S");
  EXPECT_EQ(DeviceShortCodes[10], "G1208");
  EXPECT_EQ(DeviceCatalogueNames[0], "");
  EXPECT_EQ(DeviceCatalogueNames[10], "BRC-AKS");
}

TEST(DevManager, VerTableHasSixteenDistinctRowsInOrder) {
  const auto& table = BuiltInVerTable();
  ASSERT_EQ(table.size(), 16u);
  std::set<std::string> ids;
  for (const auto& row : table)
    ids.insert(row.DevID);
  EXPECT_EQ(ids.size(), 16u);
  EXPECT_EQ(table[0].DevID, "ZFK-31");
  EXPECT_EQ(table[0].DevName, "ЗФК-31");
  EXPECT_EQ(table[12].DevName, table[15].DevName);
  EXPECT_EQ(table[15].DevID, "TGDZ2");
  EXPECT_EQ(table[13].DevName, "ГДЗ-12.05(П)");
}

TEST(DevManager, DecodeVersionMapsOnlyTheCodeCharacters) {
  const std::pair<const char*, const char*> cases[] = {{"", ""},           {"#b$af", "v1.05"},
                                                       {"#j$ja", "v9.90"}, {"ABC-12", "ABC-12"},
                                                       {"klm#$", "klmv."}, {"aj", "09"}};
  for (auto [coded, plain] : cases)
    EXPECT_EQ(DecodeVersion(coded), plain) << coded;
}

TEST(DevManager, CrcDisplayShowsTheComplement) {
  EXPECT_EQ(CrcDisplay(0), "FFFFFFFF");
  EXPECT_EQ(CrcDisplay(0xFFFFFFFF), "00000000");
  EXPECT_EQ(CrcDisplay(0x12345678), "EDCBA987");
  EXPECT_EQ(CrcDisplay(0xFFFF0000), "0000FFFF");
}

TEST(DevManager, KeyIsTrimmedAndUpperCasedLatinOnly) {
  EXPECT_EQ(VerTableKey("  zfk-31\r\n"), "ZFK-31");
  EXPECT_EQ(VerTableKey(std::string("\0\x01tgdz2 ", 7)), "TGDZ2");
  EXPECT_EQ(VerTableKey("a b"), "A B");
  EXPECT_EQ(VerTableKey("\xE0\xE1"), "\xE0\xE1");  // Cyrillic stays as it is
  EXPECT_EQ(VerTableKey("   "), "");
  const auto& table = BuiltInVerTable();
  EXPECT_EQ(FindVerRecord(table, "BRC"), &table[8]);
  EXPECT_EQ(FindVerRecord(table, "BRC "), nullptr);
  EXPECT_EQ(FindVerRecord(table, "ZFK-31 V2"), nullptr);
}

TEST(DevManager, FirmwareIniOverridesAndExtendsTheBuiltInRows) {
  const std::string dir = MakeTempDir("calibrate-fw");
  const std::string path = dir + "/firmware.ini";
  std::ofstream(path) << "; reference data\n[ZFK-36]\nCodedVer=#c$bd\nStoredCRC=0x0000FFFF\n"
                         "[zfk-31]\nStoredCRC=garbage\n[NEW-METER]\nDevName=Новый\n"
                         "CodedVer=#b$ab\n";
  const auto table = LoadVerTable(path);
  std::filesystem::remove_all(dir);
  ASSERT_EQ(table.size(), 17u);
  EXPECT_EQ(DecodeVersion(table[4].CodedVer), "v2.13");
  EXPECT_EQ(CrcDisplay(table[4].StoredCRC), "FFFF0000");
  EXPECT_EQ(table[0].StoredCRC, BuiltInVerTable()[0].StoredCRC);  // bad value ignored
  EXPECT_EQ(table[16].DevID, "NEW-METER");
  EXPECT_EQ(table[16].DevName, "Новый");
  EXPECT_EQ(LoadVerTable("/nonexistent/firmware.ini").size(), 16u);
}

TEST(DevManager, FirmwareIniTakesTheChecksumItselfAndSkipsEmptyValues) {
  const std::string dir = MakeTempDir("calibrate-fw");
  const std::string path = dir + "/firmware.ini";
  // CRC32 is hexadecimal with or without a prefix and wins over StoredCRC; an
  // empty value keeps the built-in one; a Cyrillic section name is matched in
  // the meters' code page.
  std::ofstream(path) << "[ZFK-31]\nCRC32=1A2B3C4D\nCodedVer=\n"
                         "[ZFK-36]\nStoredCRC=0\nCRC32=$0000ffff\nDevName=\n"
                         "[GDZ25]\nCRC32=0x12\nStoredCRC=\n"
                         "[BRC]\nCRC32=12345678\n"
                         "[kerva-36]\nCRC32=xyz\nCodedVer=v1.05\n"
                         "[ЗФК-М7]\nCodedVer=#b$bc\n";
  const auto table = LoadVerTable(path);
  std::filesystem::remove_all(dir);
  const auto& builtIn = BuiltInVerTable();
  ASSERT_EQ(table.size(), 17u);
  EXPECT_EQ(CrcDisplay(table[0].StoredCRC), "1A2B3C4D");
  EXPECT_EQ(table[0].CodedVer, builtIn[0].CodedVer);
  EXPECT_EQ(CrcDisplay(table[4].StoredCRC), "0000FFFF");
  EXPECT_EQ(table[4].DevName, "Прибор");
  EXPECT_EQ(CrcDisplay(table[11].StoredCRC), "00000012");
  EXPECT_EQ(CrcDisplay(table[8].StoredCRC), "12345678");  // never read as decimal
  EXPECT_EQ(table[7].StoredCRC, builtIn[7].StoredCRC);    // "xyz" is no checksum
  EXPECT_EQ(DecodeVersion(table[7].CodedVer), "v1.05");
  EXPECT_EQ(table[16].DevID,
            "\xC7\xD4\xCA-\xCC"
            "7");
  EXPECT_EQ(table[16].DevName, "Прибор");
  EXPECT_EQ(FindVerRecord(table, VerTableKey(" \xC7\xD4\xCA-\xCC"
                                             "7 ")),
            &table[16]);
}

TEST(DevManager, TheShippedFirmwareIniNamesEveryRowAndChangesNothingYet) {
  // Its sections are the sixteen DevIDs, spelled right (a misspelt one would
  // add a row), and it holds no values until real reference data is entered.
  const auto table = LoadVerTable(FIRMWARE_INI);
  const auto& builtIn = BuiltInVerTable();
  ASSERT_EQ(table.size(), builtIn.size());
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].DevID, builtIn[i].DevID);
    EXPECT_EQ(table[i].DevName, builtIn[i].DevName);
    EXPECT_EQ(table[i].CodedVer, builtIn[i].CodedVer);
    EXPECT_EQ(table[i].StoredCRC, builtIn[i].StoredCRC);
  }
  std::ifstream in(FIRMWARE_INI);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("PLACEHOLDERS"), std::string::npos);
  std::set<std::string> sections;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty() && line[0] == '[') sections.insert(line.substr(1, line.find(']') - 1));
  EXPECT_EQ(sections.size(), 16u);
}

}  // namespace
