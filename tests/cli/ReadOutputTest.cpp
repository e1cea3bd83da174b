// How a read is printed and summed up in the exit status, from what a read
// left in a recording view.
#include <gtest/gtest.h>

#include "FlatJson.h"
#include "cli/ReadOutput.h"

namespace {

using namespace clitest;

void Set(RecordingView& v, ReadField f, const std::string& text) {
  v.SetFieldText(f, text);
}

// What a two-channel read leaves.
RecordingView FullRead() {
  RecordingView v;
  v.SetVersionControlsVisible(true);
  v.SetDeviceCaption("ЗФК-31");
  Set(v, ReadField::ELicNo, "310245");
  Set(v, ReadField::Ek00, " 0.10000");
  Set(v, ReadField::Ek10, " 1.01250");
  Set(v, ReadField::Ek01, "-0.10000");
  Set(v, ReadField::Ek11, "12345.67773");
  Set(v, ReadField::EVer, "v1.00");
  Set(v, ReadField::ECRC, "00000000");
  Set(v, ReadField::EClbLic, "1234, v.1.05");
  Set(v, ReadField::EClbDate, "16.07.22 10:30:00");
  return v;
}

ReadOutcome Outcome(ReadResult result, const std::string& identification) {
  ReadOutcome o;
  o.result = result;
  o.identification = identification;
  return o;
}

TEST(ReadOutput, JsonOfAGoodRead) {
  const RecordingView v = FullRead();
  const ReadOutcome o = Outcome(ReadResult::Ok, "ZFK-31");
  EXPECT_EQ(
      ReadAsJson(o, v),
      "{\"result\": \"ok\", \"identification\": \"ZFK-31\", \"device_caption\": \"ЗФК-31\", "
      "\"serial\": \"310245\", \"G1 K0\": 0.10000, \"G1 Ku\": 1.01250, \"G2 K0\": -0.10000, "
      "\"G2 Ku\": 12345.67773, \"firmware_version\": \"v1.00\", \"firmware_crc32\": "
      "\"00000000\", \"licence\": \"1234, v.1.05\", \"calibrated\": \"16.07.22 10:30:00\"}\n");
  EXPECT_EQ(ReadExitStatus(o, v), 0);
}

TEST(ReadOutput, ErrFieldsGiveStatusOneAndStayStrings) {
  for (ReadField f : {ReadField::Ek00, ReadField::Ek10, ReadField::Ek01, ReadField::Ek11}) {
    RecordingView v = FullRead();
    Set(v, f, "ERR");
    const ReadOutcome o = Outcome(ReadResult::Ok, "ZFK-31");
    EXPECT_EQ(ReadExitStatus(o, v), 1);
    auto json = ParseFlatJson(ReadAsJson(o, v));
    ASSERT_TRUE(json);
    int errs = 0;
    for (const char* key : {"G1 K0", "G1 Ku", "G2 K0", "G2 Ku"})
      errs += json->at(key) == JsonValue(std::string("ERR"));
    EXPECT_EQ(errs, 1);
  }
}

TEST(ReadOutput, FieldsAPathLeavesAreNullAndUnidentifiedMetersHaveNoFirmware) {
  // A single-channel read: G2 never written; record not read.
  RecordingView v;
  v.SetVersionControlsVisible(true);
  v.SetDeviceCaption("ГДЗ-12.05");
  Set(v, ReadField::ELicNo, "07120458");
  Set(v, ReadField::Ek00, " 0.03100");
  Set(v, ReadField::Ek10, " 1.01500");
  Set(v, ReadField::EVer, "");
  Set(v, ReadField::ECRC, "");
  Set(v, ReadField::EClbLic, "Нет данных или не поддерживается");
  Set(v, ReadField::EClbDate, "Нет данных или не поддерживается");
  auto json = ParseFlatJson(ReadAsJson(Outcome(ReadResult::Ok, "GDZ25"), v));
  ASSERT_TRUE(json);
  EXPECT_EQ(json->size(), 12u);
  EXPECT_EQ(json->at("G1 K0"), JsonValue(0.031));
  EXPECT_EQ(json->at("G2 K0"), JsonValue(JsonNull{}));
  EXPECT_EQ(json->at("G2 Ku"), JsonValue(JsonNull{}));
  EXPECT_EQ(json->at("firmware_version"), JsonValue(std::string()));  // known meter, not in table
  EXPECT_EQ(json->at("licence"), JsonValue(std::string("Нет данных или не поддерживается")));

  // Not found: the versions were hidden, the serial never written.
  RecordingView none;
  Set(none, ReadField::EVer, "v1.00");  // left from an earlier read
  Set(none, ReadField::EClbLic, "Нет данных или не поддерживается");
  Set(none, ReadField::EClbDate, "Нет данных или не поддерживается");
  const ReadOutcome notFound = Outcome(ReadResult::NotFound, "");
  json = ParseFlatJson(ReadAsJson(notFound, none));
  ASSERT_TRUE(json);
  EXPECT_EQ(json->at("result"), JsonValue(std::string("not_found")));
  EXPECT_EQ(json->at("firmware_version"), JsonValue(JsonNull{}));
  EXPECT_EQ(json->at("firmware_crc32"), JsonValue(JsonNull{}));
  EXPECT_EQ(json->at("serial"), JsonValue(JsonNull{}));
  EXPECT_EQ(json->at("device_caption"), JsonValue(std::string(" Прибор ")));
  EXPECT_EQ(ReadExitStatus(notFound, none), 4);
}

TEST(ReadOutput, PortErrorIsStatusThreeWhateverTheFieldsHold) {
  RecordingView v = FullRead();
  Set(v, ReadField::Ek00, "ERR");  // from a read before
  v.SetVersionControlsVisible(false);
  const ReadOutcome o = Outcome(ReadResult::PortError, "");
  EXPECT_EQ(ReadExitStatus(o, v), 3);
  auto json = ParseFlatJson(ReadAsJson(o, v));
  ASSERT_TRUE(json);
  EXPECT_EQ(json->at("result"), JsonValue(std::string("port_error")));
  EXPECT_EQ(ReadAsText(o, v), "");
}

TEST(ReadOutput, NumbersInAnyFormStayValidJson) {
  RecordingView v = FullRead();
  Set(v, ReadField::Ek00, " 0,25000");  // a comma separator
  Set(v, ReadField::Ek10, "    -nan");
  Set(v, ReadField::Ek01, "     inf");
  Set(v, ReadField::Ek11, "-0.00000");
  const std::string text = ReadAsJson(Outcome(ReadResult::Ok, "ZFK-31"), v);
  auto json = ParseFlatJson(text);
  ASSERT_TRUE(json) << text;
  EXPECT_EQ(json->at("G1 K0"), JsonValue(0.25));
  EXPECT_EQ(json->at("G1 Ku"), JsonValue(std::string("-nan")));
  EXPECT_EQ(json->at("G2 K0"), JsonValue(std::string("inf")));
  EXPECT_EQ(json->at("G2 Ku"), JsonValue(-0.0));
}

TEST(ReadOutput, TextsAreUtf8AndEscaped) {
  RecordingView v = FullRead();
  Set(v, ReadField::EClbLic, std::string("A\"B\\C\x01\x00\x7F", 8) + "Л");
  // The identification comes in the meters' code page.
  const std::string json = ReadAsJson(Outcome(ReadResult::Ok, "\xC7\xD4\xCA \"31\""), v);
  EXPECT_NE(json.find(R"("identification": "ЗФК \"31\"")"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("licence": "A\"B\\C\u0001\u0000\u007fЛ")"), std::string::npos) << json;
  auto parsed = ParseFlatJson(json);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->at("identification"), JsonValue(std::string("ЗФК \"31\"")));
}

TEST(ReadOutput, TextMirrorsTheWindow) {
  const RecordingView v = FullRead();
  EXPECT_EQ(ReadAsText(Outcome(ReadResult::Ok, "ZFK-31"), v),
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
            "Время, дата: 16.07.22 10:30:00\n");
  RecordingView hidden = v;
  hidden.SetVersionControlsVisible(false);
  const std::string text = ReadAsText(Outcome(ReadResult::NotFound, ""), hidden);
  EXPECT_EQ(text.find("Версия ПО"), std::string::npos);
  EXPECT_EQ(text.find("CRC32"), std::string::npos);
}

}  // namespace
