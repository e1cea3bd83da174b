// The settings file Calibrate.ini: the chosen port and speed, and one row of
// communication time-outs for each of ten meter models. Every change is
// written at once; a write that fails is reported as
// "Unable to write to <full path>" and the program goes on.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "IniFile.h"

// One row of time-outs: byte time-out and packet time-out in ms, attempts.
struct TDelayRec {
  int32_t NB = 120;
  int32_t NP = 350;
  int32_t NR = 5;
  bool operator==(const TDelayRec&) const = default;
};

// Rows 1 to 10, indexed by device type; row 0 is not used.
using TDelays = std::array<TDelayRec, 11>;
constexpr int kFirstDelayRow = 1;
constexpr int kLastDelayRow = 10;

class Settings {
 public:
  using ErrorHandler = std::function<void(const std::string& message)>;

  explicit Settings(std::string path);

  // "Calibrate.ini" beside the program in a portable copy, in the user's
  // config folder when the program's folder is read-only (see SettingsPlace.h).
  static std::string DefaultPath();

  const std::string& Path() const { return ini_.Path(); }
  IniFile& Ini() { return ini_; }
  void SetOnError(ErrorHandler handler) { onError_ = std::move(handler); }

  int32_t Port() const;  // [Sealmark] Port, default 1
  int32_t Baud() const;  // [Sealmark] Baud, default 0 (9600)
  bool SetPort(int32_t port);
  bool SetBaud(int32_t baudIndex);

  // Every row from [Device1] .. [Device10], defaults 120 / 350 / 5.
  TDelays LoadDelays() const;
  // Copies rows 1..10 of edited into delays, writing each row's three keys
  // (in one replacement of the file) right after it is copied. Stops at the
  // first failed write: earlier rows are saved, the failing row is in delays
  // only, later rows in neither.
  bool SaveDelays(TDelays& delays, const TDelays& edited);

 private:
  bool Write(const std::string& section, const std::string& key, int32_t value);
  void ReportWriteFailure() const;

  IniFile ini_;
  ErrorHandler onError_;
};

// "Device" followed by the row number.
std::string DelaySection(int row);
