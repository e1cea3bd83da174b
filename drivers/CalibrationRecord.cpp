#include "CalibrationRecord.h"

#include "comm/LumClock.h"
#include "comm/LumUtils.h"

const std::array<float, 8> kResetPoints = {0.001f, 0.0025f, 0.005f, 0.01f,
                                           0.02f,  0.04f,   0.1f,   0.5f};

CalibrationRecordBytes BuildCalibrationRecord(const std::string& seal) {
  CalibrationRecordBytes record{};
  for (size_t i = 0; i < 8 && i < seal.size(); ++i)
    record[i] = static_cast<uint8_t>(seal[i]);
  // One reading of the clock, so that all six fields belong to one instant.
  const LumDateTime now = lum::LocalDateTime();
  record[10] = ByteToBcd(static_cast<uint8_t>(now.Year % 100));
  record[11] = ByteToBcd(now.Month);
  record[12] = ByteToBcd(now.Day);
  record[13] = ByteToBcd(now.Hour);
  record[14] = ByteToBcd(now.Minute);
  record[15] = ByteToBcd(now.Second);
  return record;
}

bool SealState::Assign(const std::string& value) {
  assigned_ = true;
  if (value.size() >= 8) {
    text_ = value.substr(0, 8);
    return true;
  }
  text_.clear();
  return false;
}

bool SealState::WriteOnce(const std::function<bool(const CalibrationRecordBytes&)>& write) {
  if (!assigned_ || text_.size() < 8) return false;
  if (written_) return true;
  if (!write(BuildCalibrationRecord(text_))) return false;
  written_ = true;
  return true;
}

std::string SerialNumberText(uint32_t value) {
  return std::to_string(value);
}
