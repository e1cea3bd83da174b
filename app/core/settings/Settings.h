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

// The bus scan's own waits, [Scan] PacketTimeout and ByteTimeout in ms. They
// are short because a scan waits out silence at almost every address, and
// they follow from the frame times (10 bits a byte):
//   3x identification: request 7 bytes, 7.3 ms at 9600 (3.6 ms at 19200);
//   reply 7 + about 20 text bytes, 28 ms (14 ms).
//   ModBus report slave ID: request 4 bytes, 4.2 ms (2.1 ms); reply 5 + about
//   20 text bytes, 26 ms (13 ms).
// Each engine looks first 10 ms after its write returns, and the write returns
// before the request has left the wire, so the first reply byte is due
// 7.3 + turnaround (meters answer within about 20 ms) + 1 byte - 10 = 19 ms
// after the packet time-out starts at 9600: 40 ms leaves it twice that. Once
// a reply runs, its bytes come 1 ms apart (0.5 ms at 19200); 20 ms allows for
// a meter that pauses mid-frame. One wait for silence costs about 60 ms, and
// the scan asks a silent address twice (a meter that misses a request is
// still found): an empty address costs about 120 ms per protocol, 128
// addresses and both protocols some 31 s at each speed (calibrate-bench
// --scan: 31.0 s at 9600).
struct ScanTimeouts {
  int32_t packetMs = 40;
  int32_t byteMs = 20;
};

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
  // [Sealmark] Address: the meter's network address of the last read, 0..127
  // (default 0); a key of its own beside Port and Baud, which keep their form.
  int32_t Address() const;
  bool SetAddress(int32_t address);
  // [Line] Echo: the line returns each request (a two-wire RS-485 adapter),
  // and the engines read that echo off; default 0.
  bool EchoSuppression() const;
  bool SetEchoSuppression(bool on);

  // [Service] CsvExcel: the live values' CSV laid out for a spreadsheet set
  // up for Russian (';' and a decimal comma); default 0.
  bool CsvExcel() const;

  // Every row from [Device1] .. [Device10], defaults 120 / 350 / 5.
  TDelays LoadDelays() const;
  // Copies rows 1..10 of edited into delays, writing each row's three keys
  // (in one replacement of the file) right after it is copied. Stops at the
  // first failed write: earlier rows are saved, the failing row is in delays
  // only, later rows in neither.
  bool SaveDelays(TDelays& delays, const TDelays& edited);

  // [Scan], with the defaults above for missing keys.
  ScanTimeouts LoadScanTimeouts() const;

  // [Service] WarnChange: the change of a coefficient, in whole per cent of
  // its old value, beyond which a write's confirmation warns. Default 5; a
  // number outside 1..1000 is taken for the default, so that a slip in the
  // file never silences the warning. As a share: 0.05 for 5 %.
  double WarnChangeShare() const;

  // [Service] Writes: whether this installation may write to a meter at all.
  // Writes=0 is inspector mode (InspectorMode.h). Default 1; a value that is
  // not a number switches writes off too, so that a slip in the file errs on
  // the meter's side.
  bool WritesAllowed() const;

 private:
  bool Write(const std::string& section, const std::string& key, int32_t value);
  void ReportWriteFailure() const;

  IniFile ini_;
  ErrorHandler onError_;
};

// "Device" followed by the row number.
std::string DelaySection(int row);
