// The statistics of a span of live samples and their CSV: the window's labels
// and export and calibrate-cli watch --csv show these.
#include <gtest/gtest.h>

#include "app/core/LiveValues.h"

namespace {

LiveSample At(uint64_t ms, uint8_t channels, float g1, bool ok1, float g2 = 0, bool ok2 = false) {
  LiveSample s;
  s.ms = ms;
  s.wallMs = 1'765'000'000'000 + static_cast<int64_t>(ms);
  s.channels = channels;
  s.value = {g1, g2};
  s.ok = {ok1, ok2};
  return s;
}

TEST(LiveValues, SpanStatsTakeOnlyGivenValuesInsideTheSpan) {
  const std::vector<LiveSample> samples = {
      At(0, 2, 100.0f, true, 7.0f, true),    At(1000, 2, 10.0f, true, 5.0f, false),
      At(2000, 2, 12.0f, true, 3.0f, true),  At(3000, 2, 0.0f, false, 4.0f, true),
      At(4000, 2, 11.0f, true, -1.0f, true), At(5000, 1, 50.0f, true, 99.0f, true)};
  struct Case {
    uint64_t from, to;
    size_t count1;
    float min1, max1;
    double mean1;
    size_t count2;
    float min2, max2;
  };
  const Case cases[] = {
      // Both ends belong to the span; a failed value is left out, not a zero.
      {1000, 4000, 3, 10.0f, 12.0f, 11.0, 3, -1.0f, 4.0f},
      {0, 0, 1, 100.0f, 100.0f, 100.0, 1, 7.0f, 7.0f},
      // A one-channel sample says nothing of channel 2, whatever it holds.
      {5000, 9000, 1, 50.0f, 50.0f, 50.0, 0, 0, 0},
      {3000, 3000, 0, 0, 0, 0, 1, 4.0f, 4.0f},
      {6000, 9000, 0, 0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + ".." + std::to_string(c.to));
    const auto s = SpanStats(samples, c.from, c.to);
    EXPECT_EQ(s[0].count, c.count1);
    EXPECT_EQ(s[1].count, c.count2);
    if (c.count1 > 0) {
      EXPECT_EQ(s[0].min, c.min1);
      EXPECT_EQ(s[0].max, c.max1);
      EXPECT_DOUBLE_EQ(s[0].mean, c.mean1);
    }
    if (c.count2 > 0) {
      EXPECT_EQ(s[1].min, c.min2);
      EXPECT_EQ(s[1].max, c.max2);
    }
  }
}

TEST(LiveValues, CsvRowsKeepAPointAndLeaveMissingValuesEmpty) {
  struct Case {
    LiveSample sample;
    std::string tail;  // the row after the local time
  };
  const Case cases[] = {
      {At(0, 2, 12.5f, true, 0.1f, true), ",12.5,0.1\n"},
      {At(250, 2, 1e-7f, true, 0.0f, false), ",1e-07,\n"},
      {At(1250, 1, -3.25f, true, 8.0f, true), ",-3.25,\n"},
      {At(60000, 2, 0.0f, false, 16777216.0f, true), ",,16777216\n"},
  };
  std::string all = LiveCsvHeader();
  for (const Case& c : cases) {
    const std::string row = LiveCsvRow(c.sample);
    all += row;
    const std::string time = LiveLocalTime(c.sample);
    EXPECT_EQ(row, std::to_string(c.sample.ms) + "," + time + c.tail);
    ASSERT_EQ(time.size(), 23u) << time;  // 2025-12-06T05:46:40.250
    EXPECT_EQ(time.substr(10, 1), "T");
    EXPECT_EQ(time.substr(20), (c.sample.ms % 1000 == 250 ? "250" : "000"));
    // Read back, the text is the float the meter gave.
    if (c.sample.ok[0]) EXPECT_EQ(std::stof(LiveValueText(c.sample.value[0])), c.sample.value[0]);
  }
  EXPECT_EQ(LiveCsvHeader(), "time_ms,local_time,G1,G2\n");
  std::vector<LiveSample> samples;
  for (const Case& c : cases)
    samples.push_back(c.sample);
  EXPECT_EQ(LiveCsv(samples), all);
}

}  // namespace
