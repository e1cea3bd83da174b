#include "LiveValues.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "comm/LumClock.h"

namespace {

int64_t WallMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

LiveStartResult TLiveValues::Start(const ReadRequest& request) {
  Stop();
  // Nothing of this is ever written: whatever an earlier operation left on.
  for (Tlum3xProtocol* d :
       std::initializer_list<Tlum3xProtocol*>{&read_.Zfk31, &read_.Zfk36, &read_.Gdz1207s})
    d->SetEWrite(false);
  read_.Gdz1208.SetEWrite(false);

  LiveStartResult out;
  const uint8_t address = read_.SetNetAddr(request.netAddr);
  if (!read_.OpenPort(request)) {
    out.result = LiveStart::PortError;
    out.message = kPortOpenError + request.portText;
    return out;
  }
  const MeterIdentity identity = read_.Identify();
  access_ = AccessFor(read_, identity.path, address);
  if (!access_) {
    read_.lumComPort.Close();
    out.result = LiveStart::NotFound;
    out.message = kNotFoundError;
    return out;
  }
  out.result = LiveStart::Ok;
  out.model = access_->Model();
  out.channels = access_->Channels();
  startMs_ = NowMs();
  return out;
}

LiveSample TLiveValues::Poll() {
  LiveSample s;
  s.ms = NowMs() - startMs_;
  s.wallMs = WallMs();
  if (!access_) return s;
  s.channels = access_->Channels();
  for (uint8_t ch = 1; ch <= s.channels && ch <= 2; ++ch)
    s.ok[ch - 1u] = access_->ReadPresent(ch, s.value[ch - 1u]);
  return s;
}

void TLiveValues::Stop() {
  if (!access_) return;
  access_.reset();
  read_.lumComPort.Close();
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

std::string LiveValueText(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
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

std::string LiveCsvHeader() {
  return "time_ms,local_time,G1,G2\n";
}

std::string LiveCsvRow(const LiveSample& s) {
  std::string row = std::to_string(s.ms) + "," + LiveLocalTime(s);
  for (size_t ch = 0; ch < 2; ++ch)
    row += "," + (ch < s.channels && s.ok[ch] ? LiveValueText(s.value[ch]) : std::string());
  return row + "\n";
}

std::string LiveCsv(std::span<const LiveSample> samples) {
  std::string out = LiveCsvHeader();
  for (const LiveSample& s : samples)
    out += LiveCsvRow(s);
  return out;
}
