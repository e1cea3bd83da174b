// Calibration driver of the GDZ-12.08 (ModBus RTU holding registers, high
// byte first, a two-register value with its high half first).
//
//   G 0/2 (float), SFR 107/105 or with AltRegMapping 97/107 (signed 32-bit),
//   record 171..178, Gmax 299/301 (float), serial number 315 (unsigned 32-bit),
//   firmware version 318 (major, minor bytes), channel swap: low byte of 320.
//   K0 370/290 is a signed 16-bit register, Ku 371/291 a float; the points
//   run downwards in register pairs (K 352../203.., Obr 368../227..).
#pragma once

#include <span>

#include "comm/lumModBusProtocol.h"
#include "drivers/lumCalibrationDriver.h"

class TlumGdz1208 : public TlumCalibrationDriver<TlumModBusProtocol> {
 public:
  bool AltRegMapping() const { return altRegMapping_; }
  void SetAltRegMapping(bool value) { altRegMapping_ = value; }

  // Also learns from register 320 whether the meter's channels are swapped
  // (for ClbReadSFR). Empty when the serial number cannot be read.
  std::string GetDeviceNumber();
  float ClbReadG(uint8_t channel);
  float ClbReadSFR(uint8_t channel);
  float ClbReadGmax(uint8_t channel);
  // "MM.mm"; empty when the read failed.
  std::string GetSoftVer();
  // GetSoftVer with the outcome: false (text untouched) when the read failed.
  bool ClbReadSoftVer(std::string& text);
  // Both lists of channels 1..lists.size() (at most two), one read for each
  // run of adjacent coefficient registers: one for channel 1 (338..372),
  // three for channel 2 (189..204, 213..228, 290..292), whose runs lie too far
  // apart to be worth reading across. A value whose run failed stays unread;
  // true when every one came.
  bool ClbReadLists(std::span<CoefficientLists> lists);
  // Channel 1 (and channel 2 with AltRegMapping): K0 = 0, Ku = 2^-23 * 1.25,
  // the points; the result of the last write.
  bool ResetK();
  // What ResetK writes, in its order.
  std::vector<Coefficient> ResetItems() const;

  bool ClbReadRecord(CalibrationRecordBytes& record) override;

  // Ku is kept in units of 1.25 × 2^-23, so that a reset meter, which holds
  // exactly that, shows Ku = 1.0 in the window.
  static constexpr double kKuUnit = 1.25 / 8388608.0;
  static constexpr float kResetKu = static_cast<float>(kKuUnit);
  // K0 is a signed 16-bit share of Gmax in the same units. The window has
  // always scaled it by this ten-digit rounding of 1.25 × 2^-23; it stays, so
  // that no shown value moves in its last digit.
  static constexpr double kShownK0Unit = 1.4901161194e-7;
  static double ShownK0(float k0, float gmax) { return double{k0} * kShownK0Unit * double{gmax}; }
  static double ShownKu(float ku) { return double{ku} * (1.0 / kKuUnit); }
  // Whether the meter can hold value at this place: K0 is a signed 16-bit
  // register and takes only whole numbers -32768..32767.
  static bool CanStore(CoefList list, uint8_t index, float value) {
    (void)list;
    return index != 0 || (value >= -32768.0f && value <= 32767.0f &&
                          value == static_cast<float>(static_cast<int>(value)));
  }
  static uint16_t CoefRegister(CoefList list, uint8_t channel, uint8_t index);
  // The value the two registers read for a coefficient stand for (for K0 the
  // first one alone).
  static float StoredValue(uint8_t index, const Bytes4& raw);

 protected:
  bool ReadValue(CoefList list, uint8_t channel, uint8_t index, float& value, Bytes4& raw) override;
  bool WriteValue(CoefList list, uint8_t channel, uint8_t index, float value) override;
  bool WriteRecord(const CalibrationRecordBytes& record) override;

 private:
  bool ReadPair(uint16_t start, uint32_t& value);
  float ReadFloatPair(uint16_t start);

  bool altRegMapping_ = false;
  bool channelSwap_ = false;
};
