// The statistics of a span of live samples and their CSV: the window's labels
// and export and calibrate-cli watch --csv show these.
#include <gtest/gtest.h>

#include <cmath>

#include "app/core/ops/LiveValues.h"

namespace {

LiveSample At(uint64_t ms, uint8_t channels, float g1, bool ok1, float g2, bool ok2) {
  return {ms, 1'765'000'000'000 + static_cast<int64_t>(ms), channels, {g1, g2}, {ok1, ok2}};
}

TEST(LiveValues, SpanStatsTakeOnlyGivenValuesInsideTheSpan) {
  const std::vector<LiveSample> samples = {
      At(0, 2, 100, true, 7, true),    At(1000, 2, 10, true, 5, false),
      At(2000, 2, 12, true, 3, true),  At(3000, 2, 0, false, 4, true),
      At(4000, 2, 11, true, -1, true), At(5000, 1, 50, true, 99, true)};
  struct Case {
    uint64_t from, to;
    size_t count[2];
    float min[2], max[2];
    double mean[2];
  };
  const Case cases[] = {
      // Both ends belong to the span; a failed value is left out, not a zero.
      {1000, 4000, {3, 3}, {10, -1}, {12, 4}, {11, 2}},
      // A one-channel sample says nothing of channel 2, whatever it holds.
      {5000, 9000, {1, 0}, {50, 0}, {50, 0}, {50, 0}},
      {3000, 3000, {0, 1}, {0, 4}, {0, 4}, {0, 4}},
      {6000, 9000, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
  };
  for (const Case& c : cases) {
    const auto s = SpanStats(samples, c.from, c.to);
    for (size_t ch = 0; ch < 2; ++ch) {
      SCOPED_TRACE(std::to_string(c.from) + ".." + std::to_string(c.to) + " G" +
                   std::to_string(ch + 1));
      EXPECT_EQ(s[ch].count, c.count[ch]);
      if (c.count[ch] == 0) continue;
      EXPECT_EQ(s[ch].min, c.min[ch]);
      EXPECT_EQ(s[ch].max, c.max[ch]);
      EXPECT_DOUBLE_EQ(s[ch].mean, c.mean[ch]);
    }
  }
}

// The bytes of either layout: UTF-8 with its byte order mark, the values as
// FloatText writes them, the decimal point a comma only for the spreadsheet
// set up for Russian, which also wants ';' between cells.
TEST(LiveValues, CsvBytesOfEitherLayout) {
  struct Case {
    LiveSample sample;
    std::string plain, excel;  // the row after the local time
  };
  const Case cases[] = {
      {At(0, 2, 12.5f, true, 0.1f, true), ",12.5,0.1\n", ";12,5;0,1\n"},
      {At(250, 2, 1.5e-7f, true, 0.0f, false), ",1.5e-07,\n", ";1,5e-07;\n"},
      {At(1250, 1, -3.25f, true, 8.0f, true), ",-3.25,\n", ";-3,25;\n"},
      {At(60000, 2, 0.0f, false, 16777216.0f, true), ",,16777216\n", ";;16777216\n"},
      {At(61000, 1, NAN, true, 0.0f, false), ",не число,\n", ";не число;\n"},
  };
  std::vector<LiveSample> samples;
  std::string plain = "\xEF\xBB\xBFtime_ms,local_time,G1,G2\n";
  std::string excel = "\xEF\xBB\xBFtime_ms;local_time;G1;G2\n";
  for (const Case& c : cases) {
    const std::string time = LiveLocalTime(c.sample);  // 2025-12-06T05:46:40.250
    ASSERT_EQ(time.size(), 23u) << time;
    EXPECT_EQ(time.substr(10, 1) + time.substr(20), c.sample.ms % 1000 ? "T250" : "T000");
    plain += std::to_string(c.sample.ms) + "," + time + c.plain;
    excel += std::to_string(c.sample.ms) + ";" + time + c.excel;
    samples.push_back(c.sample);
  }
  EXPECT_EQ(LiveCsv(samples), plain);
  EXPECT_EQ(LiveCsv(samples, CsvDialect::RussianExcel), excel);
}

}  // namespace
