// How a read is printed and summed up in the exit status, from the typed
// reading the read returns.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "cli/output/ReadOutput.h"

namespace {

using nlohmann::json;

enum class Which { K0, Ku };

// A coefficient the read got, and the figure the window shows for it.
void SetShown(ChannelReading& channel, Which which, double shown) {
  (which == Which::K0 ? channel.k0 : channel.ku).state = ValueState::Read;
  (which == Which::K0 ? channel.k0Shown : channel.kuShown) = shown;
}

// What a two-channel ZFK-31 read leaves.
MeterReading FullRead() {
  MeterReading r;
  r.identification = "ZFK-31";
  r.identified = true;
  r.caption = "ЗФК-31";
  r.firmware = {FirmwareSource::BuiltIn, "v1.00", "00000000"};
  r.serialState = ValueState::Read;
  r.serial = "310245";
  SetShown(r.channels[0], Which::K0, 0.1);
  SetShown(r.channels[0], Which::Ku, 1.0125);
  SetShown(r.channels[1], Which::K0, -0.1);
  SetShown(r.channels[1], Which::Ku, 12345.677734375);
  r.record.state = ValueState::Read;
  r.record.raw = {'C', '1', '0', '5', '1', '2', '3', '4', 0, 0, 0x22, 0x07, 0x16, 0x10, 0x30, 0};
  return r;
}

TEST(ReadOutput, JsonKeepsTheWindowsFieldsAndAddsTheTypedValues) {
  const json j = json::parse(ReadAsJson(FullRead()));
  const json legacy = {{"result", "ok"},
                       {"identification", "ZFK-31"},
                       {"device_caption", "ЗФК-31"},
                       {"serial", "310245"},
                       {"G1 K0", 0.1},
                       {"G1 Ku", 1.0125},
                       {"G2 K0", -0.1},
                       {"G2 Ku", 12345.67773},
                       {"firmware_version", "v1.00"},
                       {"firmware_crc32", "00000000"},
                       {"licence", "1234, v.1.05"},
                       {"calibrated", "22.07.16 10:30:00"}};
  for (const auto& [key, value] : legacy.items())
    EXPECT_EQ(j.at(key), value) << key;
  EXPECT_EQ(j.at("firmware_reference"), "placeholder");
  EXPECT_EQ(j.at("record").at("seal"), "C1051234");
  EXPECT_EQ(ReadExitStatus(FullRead()), ExitStatus::Ok);
}

TEST(ReadOutput, StatesBecomeNumbersErrOrNullAndTheExitStatus) {
  struct Case {
    ReadResult result;
    ValueState g2k0;
    json expected;
    ExitStatus status;
  };
  const Case cases[] = {
      {ReadResult::Ok, ValueState::Failed, "ERR", ExitStatus::Failed},
      {ReadResult::Ok, ValueState::NotRead, nullptr, ExitStatus::Ok},
      {ReadResult::NotFound, ValueState::NotRead, nullptr, ExitStatus::NotFound},
      {ReadResult::PortError, ValueState::Failed, "ERR", ExitStatus::PortError},
  };
  for (const Case& c : cases) {
    MeterReading r = FullRead();
    r.result = c.result;
    r.channels[1].k0.state = c.g2k0;
    EXPECT_EQ(json::parse(ReadAsJson(r)).at("G2 K0"), c.expected);
    EXPECT_EQ(ReadExitStatus(r), c.status);
  }
  // A record the path reads but could not get fails the read as well.
  MeterReading r = FullRead();
  r.record.state = ValueState::Failed;
  EXPECT_EQ(ReadExitStatus(r), ExitStatus::Failed);
  EXPECT_EQ(json::parse(ReadAsJson(r)).at("licence"), "Нет данных или не поддерживается");
}

TEST(ReadOutput, UnidentifiedMetersHaveNoFirmwareAndTheDefaultCaption) {
  MeterReading r;
  r.result = ReadResult::NotFound;
  const json j = json::parse(ReadAsJson(r));
  EXPECT_EQ(j.at("firmware_version"), nullptr);
  EXPECT_EQ(j.at("serial"), nullptr);
  EXPECT_EQ(j.at("device_caption"), " Прибор ");
  EXPECT_EQ(j.at("licence"), "Нет данных или не поддерживается");
  EXPECT_EQ(j.at("firmware_reference"), nullptr);
  const std::string text = ReadAsText(r);
  EXPECT_EQ(text.find("Версия ПО"), std::string::npos);
  r.result = ReadResult::PortError;
  EXPECT_EQ(ReadAsText(r), "");
}

TEST(ReadOutput, ValuesThatAreNoNumbersStayValidJson) {
  MeterReading r = FullRead();
  SetShown(r.channels[0], Which::K0, std::nan(""));
  SetShown(r.channels[0], Which::Ku, INFINITY);
  SetShown(r.channels[1], Which::K0, -0.000001);
  r.channels[0].k0.stored = std::nanf("");
  const json j = json::parse(ReadAsJson(r));
  EXPECT_EQ(j.at("G1 K0"), "nan");
  EXPECT_EQ(j.at("G1 Ku"), "inf");
  EXPECT_EQ(j.at("G2 K0"), -0.0);
  EXPECT_EQ(j.at("channels")[0].at("k0").at("stored"), nullptr);
}

TEST(ReadOutput, TextsAreUtf8AndMirrorTheWindow) {
  MeterReading r = FullRead();
  r.identification = "\xC7\xD4\xCA \"31\"";  // the meters' code page
  EXPECT_EQ(json::parse(ReadAsJson(r)).at("identification"), "ЗФК \"31\"");
  r.identification = "ZFK-31";
  EXPECT_EQ(ReadAsText(r),
            "Идентификация: ZFK-31\n"
            "Прибор: ЗФК-31\n"
            "Номер прибора: 310245\n"
            "G1 K0:  0.10000\n"
            "G1 Ku:  1.01250\n"
            "G2 K0: -0.10000\n"
            "G2 Ku: 12345.67773\n"
            "Версия ПО: v1.00\n"
            "CRC32: 00000000\n"
            "Лицензия: 1234, v.1.05\n"
            "Время, дата: 22.07.16 10:30:00\n");
}

}  // namespace
