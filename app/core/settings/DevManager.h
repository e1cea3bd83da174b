// The catalogue of meter models: device type numbers 0 to 11 with their four
// name lists, and the firmware reference table that the read shows for an
// identified meter.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Device types 0 (none) to 11; also the rows 1..10 of the time-out table.
constexpr uint32_t kDeviceTypeCount = 12;

extern const std::array<std::string_view, kDeviceTypeCount> DeviceDisplayNames;
extern const std::array<std::string_view, kDeviceTypeCount> DeviceLatinNames;
extern const std::array<std::string_view, kDeviceTypeCount> DeviceShortCodes;
extern const std::array<std::string_view, kDeviceTypeCount> DeviceCatalogueNames;

// One row of the firmware reference table.
struct TVerRecord {
  std::string DevID;     // upper-case identification text, compared whole
  std::string DevName;   // caption of the device group (UTF-8)
  std::string CodedVer;  // reference firmware version, coded (see DecodeVersion)
  uint32_t StoredCRC;    // bitwise complement of the reference firmware CRC32
  // True once firmware.ini gave the version or the checksum: the values are
  // then real reference data, not the built-in placeholders.
  bool Configured = false;
  // True once it gave the version: a row with only a checksum keeps the
  // placeholder version, which no meter is to be compared against.
  bool VersionConfigured = false;
};

// The sixteen rows as built into the program. Their CodedVer and StoredCRC are
// placeholders until a service department enters the real reference data in
// firmware.ini.
const std::vector<TVerRecord>& BuiltInVerTable();

// The built-in table with the rows of firmware.ini (one section per DevID,
// keys DevName, CodedVer, and StoredCRC or CRC32, the checksum itself) laid
// over it; a missing or unreadable file gives the built-in table. Sections for
// unknown DevIDs are appended in file order.
std::vector<TVerRecord> LoadVerTable(const std::string& firmwareIniPath);

// '#' -> "v", '$' -> ".", 'a'..'j' -> "0".."9", every other character itself.
std::string DecodeVersion(std::string_view coded);

// The complement of StoredCRC as eight upper-case hexadecimal digits.
std::string CrcDisplay(uint32_t storedCrc);

// The key ShowVerInfo looks up: the identification without leading and
// trailing characters of code 32 or below, with a..z turned into A..Z.
std::string VerTableKey(std::string_view identification);

// The first row whose DevID equals key, or nullptr.
const TVerRecord* FindVerRecord(const std::vector<TVerRecord>& table, std::string_view key);
