#include "lumGdz1207s.h"

#include <span>

#include "comm/ByteOrder.h"

namespace {
constexpr uint16_t kRecordAddress = 496;
// K0 up to the last Obr point.
constexpr uint16_t kCoefArea = 256;
constexpr size_t kCoefAreaSize = 72;
}  // namespace

uint16_t TlumGdz1207s::CoefAddress(CoefList list, uint8_t index) {
  if (index == 0) return 256;
  if (index == 1) return 260;
  return static_cast<uint16_t>((list == CoefList::K ? 264 : 296) + 4 * (index - 2u));
}

float TlumGdz1207s::StoredValue(uint8_t, const Bytes4& raw) {
  return FloatFromBits(LittleEndianU32(raw));
}

bool TlumGdz1207s::ClbReadLists(std::span<CoefficientLists> lists) {
  std::array<uint8_t, kCoefAreaSize> area{};
  if (!ReadRtc2kWhole(kCoefArea, area)) return false;
  for (CoefficientLists& l : lists)
    TakeCoefficients(l, 1, kCoefArea, area, CoefAddress, StoredValue);
  return true;
}

std::string TlumGdz1207s::GetDeviceNumber() {
  std::string id;
  GetDevID(id);
  if (!Succeeded()) return {};
  if (id.find("GDZ-12.07") == std::string::npos && id.find("GDZ25") == std::string::npos &&
      id.find("GDZ27") == std::string::npos)
    return {};
  std::array<uint8_t, 8> serial{};
  ReadRtc2k(0, serial, 8);
  if (!Succeeded()) return {};
  return std::string(serial.begin(), serial.end());
}

float TlumGdz1207s::ReadFloat(bool ram, uint16_t address) {
  Bytes4 b{};
  if (ram)
    ReadRAM(address, b, 4);
  else
    ReadRtc2k(address, b, 4);
  return Succeeded() ? FloatFromBits(LittleEndianU32(b)) : 0.0f;
}

float TlumGdz1207s::ClbReadG(uint8_t) {
  return ReadFloat(true, 180);
}
float TlumGdz1207s::ClbReadSFR(uint8_t) {
  return ReadFloat(true, 176);
}
float TlumGdz1207s::ClbReadGmax(uint8_t) {
  return ReadFloat(false, 16);
}

bool TlumGdz1207s::ReadValue(CoefList list, uint8_t, uint8_t index, float& value, Bytes4& raw) {
  ReadRtc2k(CoefAddress(list, index), raw, 4);
  if (!Succeeded()) return false;
  value = StoredValue(index, raw);
  return true;
}

bool TlumGdz1207s::ClbReadRecord(CalibrationRecordBytes& record) {
  CalibrationRecordBytes read{};
  ReadCfg(kRecordAddress, read, 16);
  if (!Succeeded()) return false;
  record = read;
  return true;
}

bool TlumGdz1207s::WriteValue(CoefList list, uint8_t, uint8_t index, float value) {
  WriteRtc2k(CoefAddress(list, index), LittleEndianBytes(BitsOfFloat(value)), 4);
  return Succeeded();
}

void TlumGdz1207s::WritePair(uint16_t address, float first, float second) {
  const Bytes4 a = LittleEndianBytes(BitsOfFloat(first));
  const Bytes4 b = LittleEndianBytes(BitsOfFloat(second));
  const std::array<uint8_t, 8> bytes = {a[0], a[1], a[2], a[3], b[0], b[1], b[2], b[3]};
  WriteRtc2k(address, bytes, 8);
}

std::vector<Coefficient> TlumGdz1207s::ResetItems() const {
  // K and Obr points pair by pair, each K pair before its Obr pair, then K0/Ku.
  std::vector<Coefficient> items;
  for (uint8_t i = 2; i <= 8; i += 2)
    for (CoefList list : {CoefList::K, CoefList::Obr})
      for (uint8_t j = i; j <= i + 1; ++j)
        items.push_back(CoefTarget(list, 1, j, kResetPoints[j - 2u]));
  items.push_back(CoefTarget(CoefList::K, 1, 0, 0.0f));
  items.push_back(CoefTarget(CoefList::K, 1, 1, 1.0f));
  return items;
}

bool TlumGdz1207s::ResetK() {
  const auto items = ResetItems();
  for (size_t n = 0; n + 1 < items.size(); n += 2)
    WritePair(CoefAddress(items[n].ref.list, items[n].ref.index), items[n].stored,
              items[n + 1].stored);
  return Succeeded();
}

bool TlumGdz1207s::WriteRecord(const CalibrationRecordBytes& record) {
  const std::span<const uint8_t> all(record);
  WriteCfg(kRecordAddress, all.first(8), 8);
  if (!Succeeded()) return false;
  WriteCfg(kRecordAddress + 8, all.last(8), 8);
  return Succeeded();
}
