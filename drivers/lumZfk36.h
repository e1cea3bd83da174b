// Calibration driver of the ZFK-36 (3x protocol).
//
// Rtc2k: serial number 338, Gmax 308/312, calibration record 2016..2031, and
// at 1504 the
// 146-byte coefficient block: eighteen floats per channel (K0, Ku, Obr 2..9,
// K 2..9), channel 2 after channel 1, then a 16-bit checksum (one's complement
// of the byte sum of the first 144 bytes, most significant byte first).
// RAM: SFR at 0/4, G at 160/164. Values most significant byte first.
//
// The meter only accepts the block whole with a matching checksum, so every
// coefficient write reads the block, patches it, and writes it back in pieces.
// A block read whose reply carries fewer than 146 bytes fails like any read
// with too short a reply (code 3, after its attempts) and ends the write with
// false and nothing sent.
#pragma once

#include <array>
#include <span>

#include "drivers/lum3xDriver.h"

using CoefficientBlock = std::array<uint8_t, 146>;

class TlumZfk36 : public Tlum3xDriver {
 public:
  std::string GetDeviceNumber();
  float ClbReadG(uint8_t channel);
  float ClbReadSFR(uint8_t channel);
  // Gmax of channel 1 or 2; 0 on failure or a bad channel.
  float ClbReadGmax(uint8_t channel);
  bool ClbReadRecord(CalibrationRecordBytes& record) override;
  // The window shows K0 multiplied by Gmax.
  static double ShownK0(float k0, float gmax) { return double{k0} * double{gmax}; }
  static double ShownKu(float ku) { return ku; }
  // Replaces the eighteen values of a channel (host order) in one block write.
  bool ClbWriteAll(uint8_t channel, std::span<const float, 18> values);
  // Puts every item's stored value into the block in one block read and one
  // block write, whatever their number and channels: each write of the block
  // is one more EEPROM cycle for the meter and a second of traffic at 9600
  // baud. Items with a bad channel or index send nothing and give false.
  bool ClbWriteItems(std::span<const Coefficient> items);
  // 36 block writes; the result of the last one.
  bool ResetK() { return ResetKPointsThenK0Ku(); }
  std::vector<Coefficient> ResetItems() const { return ResetItemsZfk(); }
  // The meter's own reset commands (77 77 and 77 78), tried at most twice;
  // the status byte of the last attempt, 255 when it failed. Not gated by
  // EWrite.
  uint8_t FastResetK() { return SendTwice(0x7777); }
  uint8_t ResetDevK() { return SendTwice(0x7778); }
  // Both lists of channels 1 and 2 (as many as lists holds, at most two) in
  // one read of the coefficient block; false when it failed or came short.
  bool ClbReadLists(std::span<CoefficientLists> lists);

  // Offset of a coefficient within the block.
  static size_t CoefOffset(CoefList list, uint8_t channel, uint8_t index);
  static float StoredValue(uint8_t index, const Bytes4& raw);
  // Stores the checksum of bytes 0..143 at 144 and 145.
  static void SealBlock(CoefficientBlock& block);

  // The checksum of the block as the last whole read found it: the meter
  // keeps the block it was sent even when a piece went astray, and then holds
  // coefficients it will not use, though each item reads back as written.
  struct BlockSum {
    bool read = false;  // no block was read whole yet
    uint16_t stored = 0, computed = 0;
    bool Sound() const { return stored == computed; }
  };
  const BlockSum& LastBlockSum() const { return blockSum_; }
  // Reads the block afresh for LastBlockSum; false when the read failed.
  bool ClbCheckBlock();

 protected:
  bool ReadValue(CoefList list, uint8_t channel, uint8_t index, float& value, Bytes4& raw) override;
  bool WriteValue(CoefList list, uint8_t channel, uint8_t index, float value) override;
  bool WriteRecord(const CalibrationRecordBytes& record) override;

 private:
  float ReadRamFloat(uint16_t address);
  bool ReadBlock(CoefficientBlock& block);
  // Checksum, pieces, then the calibration record; false at the first failed
  // piece.
  bool WriteBlock(CoefficientBlock& block);
  uint8_t SendTwice(uint16_t command);

  BlockSum blockSum_;
};
