#include "LiveValues.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "app/core/values/ValueText.h"
#include "comm/LumClock.h"

namespace {

int64_t WallMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

LiveStartResult TLiveValues::Start(const PortSpec& spec) {
  Stop();
  LiveStartResult out;
  // A fresh connection: every driver has EWrite off, and nothing here
  // switches it on.
  Connected c = Connect(spec, catalogue_, trace_);
  if (c.result != ConnectResult::Ok) {
    out.result = c.result == ConnectResult::PortError ? LiveStart::PortError : LiveStart::NotFound;
    out.message = c.message;
    return out;
  }
  connection_ = std::move(c.connection);
  meter_ = c.meter;
  out.result = LiveStart::Ok;
  out.model = meter_->Id().model;
  out.channels = meter_->Channels();
  startMs_ = lum::NowMs();
  return out;
}

LiveSample PollPresent(Meter& meter, uint64_t startMs) {
  LiveSample s;
  s.ms = lum::NowMs() - startMs;
  s.wallMs = WallMs();
  s.channels = meter.Channels();
  for (uint8_t ch = 1; ch <= s.channels && ch <= 2; ++ch) {
    const SnapshotValue g = meter.ReadPresent(ch);
    s.ok[ch - 1u] = g.state == ValueState::Read;
    if (s.ok[ch - 1u]) s.value[ch - 1u] = g.value;
  }
  return s;
}

LiveSample TLiveValues::Poll() {
  if (!meter_) {
    LiveSample s;
    s.ms = lum::NowMs() - startMs_;
    s.wallMs = WallMs();
    return s;
  }
  return PollPresent(*meter_, startMs_);
}

void TLiveValues::Stop() {
  meter_ = nullptr;
  connection_.reset();
}

std::array<ChannelStats, 2> SpanStats(std::span<const LiveSample> samples, uint64_t fromMs,
                                      uint64_t toMs) {
  std::array<ChannelStats, 2> stats{};
  std::array<double, 2> sum{};
  for (const LiveSample& s : samples) {
    if (s.ms < fromMs || s.ms > toMs) continue;
    for (size_t ch = 0; ch < 2 && ch < s.channels; ++ch) {
      if (!s.ok[ch]) continue;
      ChannelStats& c = stats[ch];
      const float v = s.value[ch];
      c.min = c.count == 0 ? v : std::min(c.min, v);
      c.max = c.count == 0 ? v : std::max(c.max, v);
      sum[ch] += v;
      ++c.count;
    }
  }
  for (size_t ch = 0; ch < 2; ++ch)
    if (stats[ch].count > 0) stats[ch].mean = sum[ch] / static_cast<double>(stats[ch].count);
  return stats;
}

std::string LiveLocalTime(const LiveSample& sample) {
  const auto seconds = static_cast<std::time_t>(sample.wallMs / 1000);
  const std::tm* t = std::localtime(&seconds);
  if (!t) return {};
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t->tm_year + 1900,
                t->tm_mon + 1, t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec,
                static_cast<int>(sample.wallMs % 1000));
  return text;
}

namespace {

constexpr const char* kUtf8Bom = "\xEF\xBB\xBF";

char Separator(CsvDialect dialect) {
  return dialect == CsvDialect::RussianExcel ? ';' : ',';
}

// A value as every other output shows it, the decimal point made a comma
// where the spreadsheet wants one.
std::string CsvNumber(float value, CsvDialect dialect) {
  std::string text = FloatText(value);
  if (dialect == CsvDialect::RussianExcel) std::replace(text.begin(), text.end(), '.', ',');
  return text;
}

}  // namespace

std::string LiveCsvHeader(CsvDialect dialect) {
  std::string header = std::string(kUtf8Bom) + "time_ms,local_time,G1,G2\n";
  std::replace(header.begin(), header.end(), ',', Separator(dialect));
  return header;
}

std::string LiveCsvRow(const LiveSample& s, CsvDialect dialect) {
  const char separator = Separator(dialect);
  std::string row = std::to_string(s.ms) + separator + LiveLocalTime(s);
  for (size_t ch = 0; ch < 2; ++ch)
    row +=
        separator + (ch < s.channels && s.ok[ch] ? CsvNumber(s.value[ch], dialect) : std::string());
  return row + "\n";
}

std::string LiveCsv(std::span<const LiveSample> samples, CsvDialect dialect) {
  std::string out = LiveCsvHeader(dialect);
  for (const LiveSample& s : samples)
    out += LiveCsvRow(s, dialect);
  return out;
}
