// Which way a read goes for an identification text, what happens when no
// driver knows the meter, and the reference firmware data it shows.
#include <gtest/gtest.h>

#include "ReadTestUtil.h"

namespace {

using namespace readtest;
using metersim::MeterModel;  // the virtual meters' models, not the core's

struct DispatchCase {
  const char* text;  // the meter's identification text
  MeterModel model;  // a meter that can answer the path's reads
  ReadPath path;
};

// The text is tested for substrings, case-sensitively, in a fixed order.
const DispatchCase kDispatch[] = {
    {"ZFK-31", MeterModel::Zfk31, ReadPath::Zfk31},
    {"ZFK-36 ZFK-31 GDZ25", MeterModel::Zfk31, ReadPath::Zfk31},
    {"xZFK-31-1", MeterModel::Zfk31, ReadPath::Zfk31},
    {"ZFK-36", MeterModel::Zfk36, ReadPath::Zfk36},
    {"BRC-3x", MeterModel::Zfk36, ReadPath::Zfk36},
    {"GDZ23B", MeterModel::Zfk36, ReadPath::Zfk36},
    {"GDZ23B GDZ25 GDZ27", MeterModel::Zfk36, ReadPath::Zfk36},
    {"BRC TGDZ2", MeterModel::Zfk36, ReadPath::Zfk36},  // a 3x text with BRC never gets to ModBus
    {"GDZ25", MeterModel::Gdz1207s, ReadPath::GdzSingle},
    {"GDZ27 GDZ25", MeterModel::Gdz1207s, ReadPath::GdzSingle},
    {"GDZ27", MeterModel::Gdz1207s2, ReadPath::GdzDouble},
    {"BRC", MeterModel::Gdz1208, ReadPath::ModBus},
    {"TGDZ", MeterModel::Gdz1208, ReadPath::ModBus},
    {"TGDZ2", MeterModel::Gdz1208x2, ReadPath::ModBus},
    {"zfk-31", MeterModel::Zfk31, ReadPath::None},  // lower case is another text
    {"GDZ-12.07", MeterModel::Zfk31, ReadPath::None},
    {"", MeterModel::Zfk31, ReadPath::None},
    {"XYZ", MeterModel::Gdz1208, ReadPath::None},  // ModBus text with neither key
    {"tgdz brc", MeterModel::Gdz1208, ReadPath::None},
};

void PrintTo(const DispatchCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(std::string(c.text));
}

class Dispatch : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(Dispatch, PicksThePathOfTheFirstMatchingKey) {
  const DispatchCase& c = GetParam();
  auto meter = MakeMeter(c.model);
  meter->SetIdText(c.text);
  ReadBench bench(meter);
  const MeterReading outcome = bench.Run();
  EXPECT_EQ(outcome.path, c.path);
  const bool found = c.path != ReadPath::None;
  // Unless the 3x text decided, the ModBus text did; a 3x meter has none.
  const bool modbusMeter = metersim::SpeaksModBus(c.model);
  EXPECT_EQ(outcome.identification, found || modbusMeter ? c.text : "");
  EXPECT_EQ(outcome.result, found ? ReadResult::Ok : ReadResult::NotFound);
  EXPECT_EQ(bench.view.errors.size(), found ? 0u : 1u);
  EXPECT_EQ(bench.view.versionVisible, found);
  // Only the second channel of the two-node meter is asked at the next address.
  size_t nextNode = 0;
  for (const auto& r : meter->Requests())
    nextNode += r.address == 1;
  EXPECT_EQ(nextNode > 0, c.path == ReadPath::GdzDouble);
}

INSTANTIATE_TEST_SUITE_P(Texts, Dispatch, ::testing::ValuesIn(kDispatch));

TEST(ReadNotFound, AMeterNobodyKnowsLeavesTheFieldsAndSaysSo) {
  auto meter = MakeMeter(MeterModel::Zfk36);
  ReadBench bench(meter);
  bench.Run();  // a known meter first
  const auto before = bench.view.fields;
  ASSERT_EQ(bench.view.caption, "Прибор");

  meter->SetIdText("KERVA-36");  // in the firmware table, but no driver takes it
  OrderView view(bench.read);
  view.fields = before;
  view.caption = "Прибор";
  const MeterReading outcome = bench.Run(view);
  EXPECT_EQ(outcome.result, ReadResult::NotFound);
  // The ModBus text decides: a 3x meter has none.
  EXPECT_EQ(outcome.identification, "");
  EXPECT_EQ(view.errors, (std::vector<std::string>{"Прибор не найден "}));
  EXPECT_EQ(view.caption, "Прибор");
  EXPECT_FALSE(view.versionVisible);
  for (ReadField f : {ReadField::ELicNo, ReadField::Ek00, ReadField::Ek10, ReadField::Ek01,
                      ReadField::Ek11, ReadField::EVer, ReadField::ECRC})
    EXPECT_EQ(view.Field(f), before[static_cast<size_t>(f)]);
  EXPECT_EQ(view.Field(ReadField::EClbLic), kNoData);
  EXPECT_EQ(view.Field(ReadField::EClbDate), kNoData);
  // The message comes while the port is still open; the record after it closes.
  const std::vector<std::string> tail(view.events.end() - 4, view.events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "error:Прибор не найден |open", "EClbLic=" + kNoData + "|closed",
                      "EClbDate=" + kNoData + "|closed", "button:on|closed"}));
}

TEST(ReadNotFound, AFailed3xRequestAsksOverModBusToo) {
  // The GDZ-12.08 does not answer the 3x identification at all.
  auto meter = MakeMeter(MeterModel::Gdz1208);
  ReadBench bench(meter);
  const MeterReading outcome = bench.Run();
  EXPECT_EQ(outcome.path, ReadPath::ModBus);
  EXPECT_EQ(outcome.identification, "BRC");
  EXPECT_EQ(Heard(*meter, RequestKind::Identify).size(), 1u);  // the ModBus one
}

struct VerInfoCase {
  const char* text;  // ModBus identification, or 3x when threeX
  MeterModel model;
  const char* caption;  // nullptr: the caption stays
};

const VerInfoCase kVerInfo[] = {
    {" TGDZr\t", MeterModel::Gdz1208, "ГДЗ-12.05(Э)"},  // trimmed, a..z upper-cased
    {"\x01\x02 BRCk  ", MeterModel::Zfk36, "БРЦ-К"},    // 3x text, control bytes trimmed
    {"Tgdz", MeterModel::Gdz1208, nullptr},             // "TGDZ" is no substring: not found
    {"TGDZ2 ", MeterModel::Gdz1208x2, "ГДЗ-12.07"},
    {"ZFK-31 v2", MeterModel::Zfk31, nullptr},  // the whole key must match
    {"BRC\xC0", MeterModel::Gdz1208, nullptr},  // Cyrillic stays as it is
    {"\r\nGDZ23B\r\n", MeterModel::Zfk36, "ГДЗ-12.03"},
};

void PrintTo(const VerInfoCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(std::string(c.text));
}

class VerInfo : public ::testing::TestWithParam<VerInfoCase> {};

TEST_P(VerInfo, KeyIsTrimmedAndUpperCased) {
  const VerInfoCase& c = GetParam();
  auto meter = MakeMeter(c.model);
  meter->SetIdText(c.text);
  ReadBench bench(meter);
  bench.view.caption = "прежний";
  bench.view.fields[static_cast<size_t>(ReadField::EVer)] = "old";
  const MeterReading outcome = bench.Run();
  if (outcome.result == ReadResult::NotFound) {
    EXPECT_EQ(c.caption, nullptr);
    EXPECT_FALSE(bench.view.versionVisible);
    EXPECT_EQ(bench.view.Field(ReadField::EVer), "old");
    return;
  }
  EXPECT_TRUE(bench.view.versionVisible);
  if (c.caption) {
    EXPECT_EQ(bench.view.caption, c.caption);
    EXPECT_EQ(bench.view.Field(ReadField::EVer), "v1.00");
    EXPECT_EQ(bench.view.Field(ReadField::ECRC), "00000000");
  } else {
    // Identified but not in the table: visible, empty, caption kept.
    EXPECT_EQ(bench.view.caption, "прежний");
    EXPECT_EQ(bench.view.Field(ReadField::EVer), "");
    EXPECT_EQ(bench.view.Field(ReadField::ECRC), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Keys, VerInfo, ::testing::ValuesIn(kVerInfo));

TEST(VerInfoTable, TheFirstMatchingRowAppliesWithItsDecodedValues) {
  auto meter = MakeMeter(MeterModel::Zfk36);
  ReadBench bench(meter);
  bench.read.GetCatalogue().verTable = {{"ZFK-3", "не тот", "#a$aa", 0},
                                        {"ZFK-36", "ЗФК-36", "#c$bd-rc", 0xE5D4C3B2},
                                        {"ZFK-36", "второй", "#j$jj", 0}};
  bench.Run();
  EXPECT_EQ(bench.view.caption, "ЗФК-36");
  EXPECT_EQ(bench.view.Field(ReadField::EVer), "v2.13-r2");
  EXPECT_EQ(bench.view.Field(ReadField::ECRC), "1A2B3C4D");
}

}  // namespace
