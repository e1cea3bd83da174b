// What every calibration driver shares, whatever its protocol: the seal text
// and the calibration record written into the meter, argument checks, the
// neutral results on failure, and the coefficient operations expressed through
// a model's own read and write of one value.
//
// A model derives from TlumCalibrationDriver<its engine> and supplies only its
// memory map (ReadValue, WriteValue, WriteRecord) and its departures.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "comm/ByteOrder.h"
#include "drivers/CalibrationRecord.h"
#include "drivers/CoefficientLists.h"

// What the reset of the ZFK meters writes, in its order: the eight points into
// K and Obr of both channels, then K0 = 0 and Ku = 1 on both.
inline std::vector<Coefficient> ResetItemsZfk() {
  std::vector<Coefficient> items;
  for (uint8_t i = 2; i <= 9; ++i)
    for (CoefList list : {CoefList::K, CoefList::Obr})
      for (uint8_t channel = 1; channel <= 2; ++channel)
        items.push_back(CoefTarget(list, channel, i, kResetPoints[i - 2u]));
  for (uint8_t channel = 1; channel <= 2; ++channel)
    items.push_back(CoefTarget(CoefList::K, channel, 0, 0.0f));
  for (uint8_t channel = 1; channel <= 2; ++channel)
    items.push_back(CoefTarget(CoefList::K, channel, 1, 1.0f));
  return items;
}

template <class Engine>
class TlumCalibrationDriver : public Engine {
 public:
  // --- seal and calibration record ---------------------------------------
  const std::string& Sealmark() const { return seal_.Text(); }
  // At least 8 characters: the first 8 become the seal and writes are
  // switched on. Shorter: no seal; EWrite stays as it is.
  void SetSealmark(const std::string& value) {
    if (seal_.Assign(value)) this->SetEWrite(true);
  }
  // Lets the next ClbWriteSealmark write a fresh record.
  void ClearSealmark() { seal_.ClearWritten(); }
  // Writes the record once per object: false without a seal, true without
  // traffic once written, else the outcome of the model's write.
  bool ClbWriteSealmark() {
    return seal_.WriteOnce([this](const CalibrationRecordBytes& rec) { return WriteRecord(rec); });
  }
  // Reads the 16-byte calibration record where the model keeps it; record is
  // left alone on failure.
  virtual bool ClbReadRecord(CalibrationRecordBytes& record) = 0;

  // --- coefficients: channel 1 or 2, index 0..9 ----------------------------
  // A bad argument costs no traffic and leaves value and LastError alone; a
  // failed read sets value to 0.
  bool ClbReadK(uint8_t channel, uint8_t index, float& value) {
    return Read(CoefList::K, channel, index, value);
  }
  bool ClbReadObr(uint8_t channel, uint8_t index, float& value) {
    return Read(CoefList::Obr, channel, index, value);
  }
  // ClbReadK and ClbReadObr that also hand over the four bytes as the meter
  // keeps them (its own byte order); raw is left alone on failure.
  bool ClbReadKRaw(CoefList list, uint8_t channel, uint8_t index, float& value, Bytes4& raw) {
    return Read(list, channel, index, value, &raw);
  }
  bool ClbWriteK(uint8_t channel, uint8_t index, float value) {
    return ValidArgs(channel, index) && WriteValue(CoefList::K, channel, index, value);
  }
  bool ClbWriteObr(uint8_t channel, uint8_t index, float value) {
    return ValidArgs(channel, index) && WriteValue(CoefList::Obr, channel, index, value);
  }

  // Writes 16 bytes as the calibration record, as they are (a restore of a
  // saved record); gated by EWrite like every memory write.
  bool ClbWriteRecordBytes(const CalibrationRecordBytes& record) { return WriteRecord(record); }

  static bool ValidChannel(uint8_t channel) { return channel == 1 || channel == 2; }
  static bool ValidArgs(uint8_t channel, uint8_t index) {
    return ValidChannel(channel) && index <= 9;
  }

 protected:
  // The model's read and write of one coefficient (arguments already checked);
  // a read hands over the value and the meter's bytes of it.
  virtual bool ReadValue(CoefList list, uint8_t channel, uint8_t index, float& value,
                         Bytes4& raw) = 0;
  virtual bool WriteValue(CoefList list, uint8_t channel, uint8_t index, float value) = 0;
  // The model's write of the 16-byte calibration record.
  virtual bool WriteRecord(const CalibrationRecordBytes& record) = 0;

  // The reset of the ZFK meters: the eight points into K and Obr of both
  // channels, then K0 = 0 and Ku = 1 on both; a failure does not stop it and
  // only the last write's result is returned.
  bool ResetKPointsThenK0Ku() {
    bool last = false;
    for (const Coefficient& c : ResetItemsZfk())
      last = c.ref.list == CoefList::K ? ClbWriteK(c.ref.channel, c.ref.index, c.stored)
                                       : ClbWriteObr(c.ref.channel, c.ref.index, c.stored);
    return last;
  }

  bool Succeeded() const { return this->LastError() == 0; }

 private:
  bool Read(CoefList list, uint8_t channel, uint8_t index, float& value, Bytes4* raw = nullptr) {
    if (!ValidArgs(channel, index)) return false;
    float read = 0;
    Bytes4 bytes{};
    if (!ReadValue(list, channel, index, read, bytes)) {
      value = 0;
      return false;
    }
    value = read;
    if (raw) *raw = bytes;
    return true;
  }

  SealState seal_;
};
