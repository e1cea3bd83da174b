// Calibration driver of the ZFK-31 (3x protocol). Everything lives in the
// Rtc2k area as 4-byte values, most significant byte first:
//   record 32..47, serial number 124, Gmax 204/208, K0 1792/1796, Ku 1816/1820,
//   K points 1824../1856.., Obr points 1888../1920.. (channel 1 / channel 2);
//   all coefficients of both channels lie in 1792..1951.
// Present values come from the present-values command.
#pragma once

#include <span>

#include "drivers/lum3xDriver.h"

class TlumZfk31 : public Tlum3xDriver {
 public:
  // The serial number in decimal; empty when the read failed.
  std::string GetDeviceNumber();
  // The present value G of channel 1 or 2; 0 on failure or a bad channel.
  float ClbReadG(uint8_t channel);
  // Gmax of channel 1 or 2 (m³/h); 0 on failure or a bad channel.
  float ClbReadGmax(uint8_t channel);
  bool ClbReadRecord(CalibrationRecordBytes& record) override;
  // The window shows K0 as a share of Gmax: K0 × Gmax / 26214.
  static double ShownK0(float k0, float gmax) { return double{k0} * double{gmax} / 26214.0; }
  static double ShownKu(float ku) { return ku; }
  // 36 single writes; the result of the last one.
  bool ResetK() { return ResetKPointsThenK0Ku(); }
  // Both lists of channels 1 and 2 (as many as lists holds, at most two) in
  // one read of the whole coefficient area; false when it failed.
  bool ClbReadLists(std::span<CoefficientLists> lists);
  std::vector<Coefficient> ResetItems() const { return ResetItemsZfk(); }

  // The Rtc2k address of a coefficient.
  static uint16_t CoefAddress(CoefList list, uint8_t channel, uint8_t index);
  // The value the meter's four bytes of a coefficient stand for.
  static float StoredValue(uint8_t index, const Bytes4& raw);

 protected:
  bool ReadValue(CoefList list, uint8_t channel, uint8_t index, float& value, Bytes4& raw) override;
  bool WriteValue(CoefList list, uint8_t channel, uint8_t index, float value) override;
  bool WriteRecord(const CalibrationRecordBytes& record) override;
};
