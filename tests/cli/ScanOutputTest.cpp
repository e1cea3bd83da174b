// An address conflict as calibrate-cli scan prints it: named in every form,
// never with a serial number.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/output/ScanOutput.h"

TEST(ScanOutput, AnAddressConflictIsNamedInEveryForm) {
  FoundMeter seen{7,       std::nullopt, 9600, ScanProtocol::ThreeX,       "ZFK-31", "ЗФК-31",
                  "zfk31", "",           31,   FoundState::AddressConflict};
  EXPECT_NE(ScanAsText({seen}).find("31   конфликт адресов (ZFK-31) / ЗФК-31 / ?\n"),
            std::string::npos);
  const auto json = nlohmann::json::parse(ScanAsJson({seen}));
  EXPECT_EQ(json[0]["state"], "address_conflict");
  EXPECT_EQ(json[0]["message"], "конфликт адресов");
  EXPECT_EQ(json[0]["serial"], "");
  EXPECT_NE(ScanAsCsv({seen}).find("\n7,9600,3x,ZFK-31,ЗФК-31,,address_conflict,31\n"),
            std::string::npos);
}
