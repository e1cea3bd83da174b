// Everything a meter's driver can read, taken in one pass without writing
// anything: both coefficient lists of each channel with the bytes the meter
// keeps, Gmax, the present values, the serial number, the firmware version
// the meter reports, its clock and the calibration record. Guarded writes
// restore from it and comparisons are made between two of them; its JSON
// (MeterSnapshotJson.h) is what goes into files.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "app/core/values/MeterReading.h"
#include "comm/Lum3xClock.h"

// A single number the meter reports (Gmax, G, SFR).
struct SnapshotValue {
  ValueState state = ValueState::NotRead;  // NotRead: the model has no such value
  float value = 0;
  bool operator==(const SnapshotValue&) const = default;
};

struct SnapshotChannel {
  // A channel with every coefficient's place set, nothing read yet.
  static SnapshotChannel Of(uint8_t channel);
  bool present = false;  // false: the meter has no such channel
  std::array<Coefficient, 10> k{};
  std::array<Coefficient, 10> obr{};  // 0 and 1 are K0 and Ku again
  SnapshotValue gmax;
  SnapshotValue g;
  SnapshotValue sfr;
  bool operator==(const SnapshotChannel&) const = default;
};

// The meter's clock, as SetDateTime lays it out.
struct ClockReading {
  ValueState state = ValueState::NotRead;  // NotRead: the model keeps none
  MeterClockBytes raw{};
  // Nothing when the bytes are no valid date and time.
  std::optional<MeterClockTime> Time() const { return DecodeMeterClock(raw); }
  std::string Text() const;  // "yy.mm.dd hh:mm:ss" as the record's date, or ""
  bool operator==(const ClockReading&) const = default;
};

// The meter's own firmware version set against the reference of firmware.ini.
enum class FirmwareCheck {
  NotChecked,   // the meter's version text was not read
  NoReference,  // the table has no row for this meter
  Placeholder,  // the row's version is the built-in placeholder
  Match,
  Mismatch,
  Unreadable,  // one of the two texts holds no version number
};

// Compares the version number in the meter's text with the reference's: the
// last run of digits and dots in each ("ZFK-36 v2.04" gives 2.04, "01.05"
// 1.05, "v1.05" 1.05), number by number, so that leading zeros do not count.
FirmwareCheck CompareFirmware(const std::string& meterText, const std::string& reference);

struct MeterSnapshot {
  static constexpr int kSchema = 1;
  MeterSnapshot() : channels{SnapshotChannel::Of(1), SnapshotChannel::Of(2)} {}

  ReadResult result = ReadResult::Ok;
  ReadPath path = ReadPath::None;
  std::string identification;  // as the meter sent it (code page 1251)
  std::optional<std::string> caption;
  FirmwareReference firmware;
  // The row's version is real reference data, not the placeholder (a row
  // that configures only the CRC32 keeps the placeholder version).
  bool firmwareVersionConfigured = false;

  ValueState serialState = ValueState::NotRead;
  std::string serial;  // UTF-8
  ValueState softVerState = ValueState::NotRead;
  std::string softVer;  // UTF-8, the meter's firmware version text
  FirmwareCheck firmwareCheck = FirmwareCheck::NotChecked;

  std::array<SnapshotChannel, 2> channels;
  RecordReading record;
  ClockReading clock;
  // Why the meter would not use the coefficients it holds (a ZFK-36 block
  // whose checksum does not match); empty when they are sound.
  std::string integrity;

  std::string port;
  unsigned baud = 0;
  unsigned address = 0;
  std::chrono::system_clock::time_point started{};
  uint64_t durationMs = 0;

  // True when an item the model has could not be read.
  bool AnyFailed() const;
  bool operator==(const MeterSnapshot&) const = default;
};
