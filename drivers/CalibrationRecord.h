// The calibration record: 16 bytes that a calibrating engineer leaves in the
// meter. The 8 seal characters (licence and version), two zero bytes, then
// year modulo 100, month, day, hour, minute and second in packed BCD, all taken
// from one reading of the local clock.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

using CalibrationRecordBytes = std::array<uint8_t, 16>;

// Calibration points 2..9 that a reset writes: 0.001 ... 0.5.
extern const std::array<float, 8> kResetPoints;

// Builds the record for seal (its first 8 characters) at the local time now.
CalibrationRecordBytes BuildCalibrationRecord(const std::string& seal);

// The seal text and the two flags every driver keeps.
class SealState {
 public:
  const std::string& Text() const { return text_; }
  // Returns true when the value gave a seal (writes are then to be enabled).
  bool Assign(const std::string& value);
  void ClearWritten() { written_ = false; }
  bool Written() const { return written_; }
  // False without a seal; true at once when already written; otherwise
  // builds a record, hands it to write and remembers a success.
  bool WriteOnce(const std::function<bool(const CalibrationRecordBytes&)>& write);

 private:
  std::string text_;
  bool assigned_ = false;
  bool written_ = false;
};

// The serial number as the meters show it: unsigned decimal, no leading zeros.
std::string SerialNumberText(uint32_t value);
