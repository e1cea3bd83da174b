#include "app/core/values/ValueText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(ValueText, FloatsReadBackAsTheSameFloat) {
  const struct {
    float value;
    const char* text;
  } cases[] = {
      {0.00102f, "0.00102"},
      {163.84f, "163.84"},
      {163.9f, "163.9"},
      {0.0025f, "0.0025"},
      {1e-30f, "1e-30"},
      {-2.5f, "-2.5"},
      {0.f, "0"},
      {16777216.f, "16777216"},
      {NAN, "не число"},
      {INFINITY, "+бесконечность"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FloatText(c.value), c.text) << c.text;
  // A JSON double that came from a float, in either of its two forms.
  EXPECT_EQ(NumberText(163.84), "163.84");
  EXPECT_EQ(NumberText(static_cast<double>(163.84f)), "163.84");
  EXPECT_EQ(NumberText(0.1 + 0.2), "0.30000000000000004");  // no float's value
  EXPECT_EQ(NumberText(6710886.4), "6710886.4");
}

TEST(ValueText, DifferencesAtTheShownPrecision) {
  const struct {
    float from, to;
    const char* difference;
    const char* share;
  } cases[] = {
      {0.0025f, 0.00251f, "+0.00001", "+0.4 %"},
      {163.84f, 163.9f, "+0.06", "+0.04 %"},
      {163.9f, 163.84f, "-0.06", "−0.04 %"},
      {1.f, 1.f, "0", "0 %"},
      {0.f, 0.5f, "+0.5", ""},
      {1.f, 1.0000001f, "+0.0000001", "<0.01 %"},  // one step of the float
      {2.f, 6.f, "+4", "+200 %"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DifferenceText(c.from, c.to), c.difference) << c.from << " " << c.to;
    EXPECT_EQ(ShareText(c.from, c.to), c.share) << c.from << " " << c.to;
  }
  EXPECT_EQ(RelativeChange(2.f, 2.1f), (2.1f - 2.0) / 2.0);
  EXPECT_TRUE(std::isinf(RelativeChange(0.f, 1.f)));
}

TEST(ValueText, DatesDayFirstWithTheWholeYear) {
  EXPECT_EQ(JournalTimeText("2026-12-09T00:52:54+03:00"), "09.12.2026 00:52:54");
  EXPECT_EQ(JournalTimeText("2026-12-09 00:52:54"), "09.12.2026 00:52:54");
  EXPECT_EQ(JournalTimeText("вчера"), "вчера");
  // Seconds, 0, minutes, 0, hours, 0, day of week, day, month, year.
  EXPECT_EQ(MeterClockText({0x54, 0, 0x52, 0, 0x00, 0, 4, 0x09, 0x12, 0x26}),
            "09.12.2026 00:52:54");
  MeterClockBytes erased;
  erased.fill(0xFF);
  EXPECT_EQ(MeterClockText(erased), std::nullopt);
}

TEST(ValueText, RecordsDecoded) {
  CalibrationRecordBytes r = {'C', '1', '0',  '5',  '1',  '2',  '3',  '4',
                              0,   0,   0x26, 0x12, 0x09, 0x00, 0x52, 0x54};
  EXPECT_EQ(RecordDateText(r), "09.12.2026 00:52:54");
  EXPECT_EQ(RecordText(r), "\"C1051234\" (лицензия 1234, версия 1.05), 09.12.2026 00:52:54");
  r[11] = 0x13;  // month 13
  EXPECT_EQ(RecordDateText(r), std::nullopt);
  EXPECT_EQ(RecordText(r), "\"C1051234\" (лицензия 1234, версия 1.05), дата не читается");
  r[0] = 0xD1;  // Cyrillic С in code page 1251
  EXPECT_EQ(RecordText(r), "повреждена (\"С1051234\")");
  r.fill(0xFF);
  EXPECT_EQ(RecordText(r), "не записана");
}
