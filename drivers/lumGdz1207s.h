// Calibration driver of the GDZ-12.07S (3x protocol). The meter keeps one set
// of coefficients per network address, so both channels reach the same memory;
// a two-channel meter is two nodes at consecutive addresses.
//
// Rtc2k: serial number 0 (eight characters), Gmax 16, K0 256, Ku 260,
// K points 264..292, Obr points 296..324, calibration record 496 (written in
// two halves). RAM: SFR 176, G 180. Floats are stored least significant byte
// first, unlike the ZFK meters.
#pragma once

#include <span>

#include "drivers/lum3xDriver.h"

class TlumGdz1207s : public Tlum3xDriver {
 public:
  // The eight serial characters, read only when the identification names a
  // GDZ-12.07; empty otherwise (LastError 0) or on failure.
  std::string GetDeviceNumber();
  // The meter's single values; the channel is not looked at.
  float ClbReadG(uint8_t channel = 1);
  float ClbReadSFR(uint8_t channel = 1);
  float ClbReadGmax(uint8_t channel = 1);
  // The record is read with ReadCfg, the twin of the WriteCfg that writes it.
  bool ClbReadRecord(CalibrationRecordBytes& record) override;
  // The window shows K0 multiplied by Gmax.
  static double ShownK0(float k0, float gmax) { return double{k0} * double{gmax}; }
  static double ShownKu(float ku) { return ku; }
  // Nine writes of two floats; true when the last one succeeded.
  bool ResetK();
  // Both lists in one read of 256..327. Every entry of lists gets the same
  // values: both channels reach the node's one set. False when it failed.
  bool ClbReadLists(std::span<CoefficientLists> lists);
  // What ResetK writes, in its order; consecutive items share one write.
  std::vector<Coefficient> ResetItems() const;

  static uint16_t CoefAddress(CoefList list, uint8_t index);
  static float StoredValue(uint8_t index, const Bytes4& raw);

 protected:
  bool ReadValue(CoefList list, uint8_t channel, uint8_t index, float& value, Bytes4& raw) override;
  bool WriteValue(CoefList list, uint8_t channel, uint8_t index, float value) override;
  bool WriteRecord(const CalibrationRecordBytes& record) override;

 private:
  float ReadFloat(bool ram, uint16_t address);
  void WritePair(uint16_t address, float first, float second);
};
