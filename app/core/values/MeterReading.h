// What one read of a meter found, as typed values: the window's fields, the
// command line's text and JSON, the journal and the reports are all made from
// this, never from each other's text.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "comm/ByteOrder.h"
#include "drivers/CalibrationRecord.h"
#include "drivers/Coefficient.h"

// How the read ended.
enum class ReadResult { Ok, PortError, NotFound };

// Which way the dispatch on the identification went.
enum class ReadPath { None, Zfk31, Zfk36, GdzSingle, GdzDouble, ModBus };

struct ChannelReading {
  Coefficient k0;
  Coefficient ku;
  // What the window shows of them (K0 scaled by Gmax on most models).
  double k0Shown = 0;
  double kuShown = 0;
  ValueState gmaxState = ValueState::NotRead;
  float gmax = 0;
};

// The 16-byte calibration record, decoded as the window shows it.
struct RecordReading {
  ValueState state = ValueState::NotRead;
  CalibrationRecordBytes raw{};
  // A record begins with 'C'; anything else is shown as damaged.
  bool Valid() const { return state == ValueState::Read && raw[0] == 'C'; }
  std::string Seal() const;         // the 8 seal characters (UTF-8)
  std::string Licence() const;      // "1234" (UTF-8)
  std::string Version() const;      // "1.05" (UTF-8)
  std::string LicenceText() const;  // the window's "1234, v.1.05"
  std::string DateText() const;     // the window's "yy.mm.dd hh:mm:ss"
  bool operator==(const RecordReading&) const = default;
};

// Where the reference firmware data shown for a model came from.
enum class FirmwareSource { None, BuiltIn, Configured };

struct FirmwareReference {
  FirmwareSource source = FirmwareSource::None;  // None: no row for this meter
  std::string version;                           // "v1.00"
  std::string crc32;                             // "00000000"
  bool operator==(const FirmwareReference&) const = default;
};

// The caption of the window's device group before a meter is identified.
inline constexpr const char* kDefaultDeviceCaption = " Прибор ";

struct MeterReading {
  ReadResult result = ReadResult::Ok;
  ReadPath path = ReadPath::None;
  // The text the dispatch decided on, as the meter sent it (code page 1251):
  // the 3x identification, or on the ModBus path the ModBus one.
  std::string identification;
  std::string IdentificationUtf8() const;
  // The Latin model name of an identified meter ("ZFK-31"), for its files.
  std::string model;
  // Set by the firmware table for an identified model (UTF-8).
  std::optional<std::string> caption;
  std::string Caption() const { return caption.value_or(kDefaultDeviceCaption); }
  // True once the read reached a model's path: the firmware fields are shown.
  bool identified = false;
  FirmwareReference firmware;

  ValueState serialState = ValueState::NotRead;
  std::string serial;  // UTF-8; empty when the meter did not give it

  std::array<ChannelReading, 2> channels;
  RecordReading record;

  // Where and when.
  std::string port;  // "COM3" or a device path
  unsigned baud = 0;
  unsigned address = 0;
  std::chrono::system_clock::time_point started{};
  uint64_t durationMs = 0;
  // When the port did not open: the operating system's reason and what to do
  // about it (UTF-8, several lines).
  std::string portErrorDetail;
  // When no meter answered: what the line did and what to check (UTF-8).
  std::string lineDiagnosis;

  // True when any coefficient the path was to read failed.
  bool AnyCoefficientFailed() const;
};
