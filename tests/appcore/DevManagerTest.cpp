#include "app/core/DevManager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

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

}  // namespace
