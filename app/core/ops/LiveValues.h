// The present values of a meter, sampled again and again: the meter is
// identified as the read identifies it, then only its present flow G is asked
// for, channel by channel, while the port stays open. Nothing is ever written
// (EWrite stays off on every driver). The command line's watch and the service
// window's chart share it, and the plain functions below: the statistics of a
// span and the CSV of a recording.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "app/core/meter/Connection.h"

struct LiveSample {
  uint64_t ms = 0;       // since the start of the recording
  int64_t wallMs = 0;    // the computer's clock, ms since 1970 (UTC)
  uint8_t channels = 1;  // 1 or 2
  std::array<float, 2> value{};
  std::array<bool, 2> ok{};  // false: the meter gave no value
};

enum class LiveStart { Ok, PortError, NotFound };

struct LiveStartResult {
  LiveStart result = LiveStart::NotFound;
  std::string message;  // the read's message when not Ok
  std::string model;    // "ZFK-31", ...
  uint8_t channels = 0;
};

// One sample of every channel of the meter.
LiveSample PollPresent(Meter& meter, uint64_t startMs);

class TLiveValues {
 public:
  explicit TLiveValues(const Catalogue& catalogue, LineTrace trace = {})
      : catalogue_(catalogue), trace_(std::move(trace)) {}
  ~TLiveValues() { Stop(); }
  TLiveValues(const TLiveValues&) = delete;
  TLiveValues& operator=(const TLiveValues&) = delete;

  // Opens the port and identifies the meter; the port stays open when Ok.
  LiveStartResult Start(const PortSpec& spec);
  // One sample of every channel; all failed when not started.
  LiveSample Poll();
  // Closes the port. Does nothing when not started.
  void Stop();
  bool Running() const { return meter_ != nullptr; }

 private:
  const Catalogue& catalogue_;
  LineTrace trace_;
  std::unique_ptr<Connection> connection_;
  Meter* meter_ = nullptr;
  uint64_t startMs_ = 0;
};

// The least, greatest and mean value of one channel.
struct ChannelStats {
  size_t count = 0;  // 0: no value in the span, the rest means nothing
  float min = 0;
  float max = 0;
  double mean = 0;
};

// Per channel, over the samples whose ms lies in [fromMs, toMs], leaving out
// the values the meter did not give.
std::array<ChannelStats, 2> SpanStats(std::span<const LiveSample> samples, uint64_t fromMs,
                                      uint64_t toMs);

// How a recording's CSV is laid out. Plain: ',' between cells and '.' in
// numbers, as most programs read CSV. RussianExcel: ';' between cells and a
// decimal comma, since a spreadsheet set up for Russian takes ',' as the
// decimal separator and opens a comma-separated file as one column.
enum class CsvDialect { Plain, RussianExcel };

// A recording as CSV: a header line, then a row per sample with the time in
// ms, the local time (ISO 8601, to the millisecond), G1 and G2, whatever the
// locale; a value not given is an empty cell. The header starts with the
// UTF-8 byte order mark, which tells a spreadsheet the file is UTF-8 (without
// it Excel takes the ANSI code page, and "не число" becomes mojibake).
std::string LiveCsvHeader(CsvDialect dialect = CsvDialect::Plain);
std::string LiveCsvRow(const LiveSample& sample, CsvDialect dialect = CsvDialect::Plain);
std::string LiveCsv(std::span<const LiveSample> samples, CsvDialect dialect = CsvDialect::Plain);

// The sample's local time, "2026-12-08T09:22:24.123".
std::string LiveLocalTime(const LiveSample& sample);
