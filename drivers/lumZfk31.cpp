#include "lumZfk31.h"

#include <algorithm>

#include "comm/ByteOrder.h"

namespace {
// K0 of channel 1 up to the last Obr point of channel 2.
constexpr uint16_t kCoefArea = 1792;
constexpr size_t kCoefAreaSize = 160;
}  // namespace

uint16_t TlumZfk31::CoefAddress(CoefList list, uint8_t channel, uint8_t index) {
  const unsigned ch = channel - 1u;
  if (index == 0) return static_cast<uint16_t>(1792 + 4 * ch);
  if (index == 1) return static_cast<uint16_t>(1816 + 4 * ch);
  const unsigned base = list == CoefList::K ? 1824 : 1888;
  return static_cast<uint16_t>(base + 32 * ch + 4 * (index - 2u));
}

float TlumZfk31::StoredValue(uint8_t, const Bytes4& raw) {
  return FloatFromBits(BigEndianU32(raw));
}

bool TlumZfk31::ClbReadLists(std::span<CoefficientLists> lists) {
  std::array<uint8_t, kCoefAreaSize> area{};
  if (!ReadRtc2kWhole(kCoefArea, area)) return false;
  for (uint8_t channel = 1; channel <= std::min<size_t>(lists.size(), 2); ++channel)
    TakeCoefficients(
        lists[channel - 1u], channel, kCoefArea, area,
        [channel](CoefList list, uint8_t index) { return CoefAddress(list, channel, index); },
        StoredValue);
  return true;
}

std::string TlumZfk31::GetDeviceNumber() {
  Bytes4 b{};
  ReadRtc2k(124, b, 4);
  return Succeeded() ? SerialNumberText(BigEndianU32(b)) : std::string();
}

float TlumZfk31::ClbReadG(uint8_t channel) {
  if (!ValidChannel(channel)) return 0;
  TSfrTek values;
  GetSfrTek(values);
  return Succeeded() ? values.AsFloat(channel - 1u) : 0.0f;
}

float TlumZfk31::ClbReadGmax(uint8_t channel) {
  if (!ValidChannel(channel)) return 0;
  Bytes4 b{};
  ReadRtc2k(channel == 1 ? 204 : 208, b, 4);
  return Succeeded() ? FloatFromBits(BigEndianU32(b)) : 0.0f;
}

bool TlumZfk31::ClbReadRecord(CalibrationRecordBytes& record) {
  CalibrationRecordBytes read{};
  ReadRtc2k(32, read, 16);
  if (!Succeeded()) return false;
  record = read;
  return true;
}

bool TlumZfk31::ReadValue(CoefList list, uint8_t channel, uint8_t index, float& value,
                          Bytes4& raw) {
  ReadRtc2k(CoefAddress(list, channel, index), raw, 4);
  if (!Succeeded()) return false;
  value = StoredValue(index, raw);
  return true;
}

bool TlumZfk31::WriteValue(CoefList list, uint8_t channel, uint8_t index, float value) {
  WriteRtc2k(CoefAddress(list, channel, index), BigEndianBytes(BitsOfFloat(value)), 4);
  return Succeeded();
}

bool TlumZfk31::WriteRecord(const CalibrationRecordBytes& record) {
  WriteRtc2k(32, record, 16);
  return Succeeded();
}
