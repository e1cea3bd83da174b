// What calibrate-cli scan prints for a meter and for an address conflict, in
// each of its three forms.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/output/ScanOutput.h"

namespace {

TEST(ScanOutput, AConflictIsNamedInEveryFormAndNeverLooksLikeAMeter) {
  FoundMeter meter{7,       std::nullopt, 9600, ScanProtocol::ThreeX, "ZFK-31", "ЗФК-31",
                   "zfk31", "310245",     31,   FoundState::Meter};
  FoundMeter seen = meter;  // two ZFK-31 whose serial numbers collide
  seen.serial.clear();
  seen.state = FoundState::AddressConflict;
  FoundMeter blind = seen;  // no probe came back whole
  blind.identification = blind.caption = blind.model = "";
  const struct {
    FoundMeter found;
    const char* text;  // the table row from the identification on
    const char* state;
    nlohmann::json message;
    const char* csv;  // the row up to the reply time
  } cases[] = {
      {meter, "ZFK-31 / ЗФК-31 / 310245", "meter", nullptr,
       "7,9600,3x,ZFK-31,ЗФК-31,310245,meter,"},
      {seen, "конфликт адресов (ZFK-31) / ЗФК-31 / ?", "address_conflict", "конфликт адресов",
       "7,9600,3x,ZFK-31,ЗФК-31,,address_conflict,"},
      {blind, "конфликт адресов / ? / ?", "address_conflict", "конфликт адресов",
       "7,9600,3x,,,,address_conflict,"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string text = ScanAsText({c.found});
    EXPECT_NE(text.find(std::string("31   ") + c.text + "\n"), std::string::npos) << text;
    const auto json = nlohmann::json::parse(ScanAsJson({c.found}));
    ASSERT_EQ(json.size(), 1u);
    EXPECT_EQ(json[0]["state"], c.state);
    EXPECT_EQ(json[0]["message"], c.message);
    EXPECT_EQ(json[0]["serial"], c.found.serial);
    const std::string csv = ScanAsCsv({c.found});
    EXPECT_NE(csv.find(std::string("\n") + c.csv + "31\n"), std::string::npos) << csv;
  }
}

}  // namespace
