#include "lumGdz1208.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "comm/LumUtils.h"

#include "comm/ByteOrder.h"

namespace {
constexpr uint16_t kRecordRegister = 171;

struct RegisterRun {
  uint16_t first;
  uint16_t count;
};

// The runs of adjacent registers that hold a channel's coefficients, from the
// register map itself. Each value is asked for as two registers, K0 too.
std::vector<RegisterRun> CoefficientRuns(uint8_t channel) {
  std::vector<uint16_t> regs;
  for (CoefList list : {CoefList::K, CoefList::Obr}) {
    for (uint8_t index = 0; index <= 9; ++index) {
      const uint16_t r = TlumGdz1208::CoefRegister(list, channel, index);
      regs.insert(regs.end(), {r, static_cast<uint16_t>(r + 1)});
    }
  }
  std::sort(regs.begin(), regs.end());
  regs.erase(std::unique(regs.begin(), regs.end()), regs.end());
  std::vector<RegisterRun> runs;
  for (uint16_t r : regs) {
    if (!runs.empty() && runs.back().first + runs.back().count == r)
      ++runs.back().count;
    else
      runs.push_back({r, 1});
  }
  return runs;
}
}  // namespace

uint16_t TlumGdz1208::CoefRegister(CoefList list, uint8_t channel, uint8_t index) {
  const bool first = channel == 1;
  if (index == 0) return first ? 370 : 290;
  if (index == 1) return first ? 371 : 291;
  const unsigned top = list == CoefList::K ? (first ? 352 : 203) : (first ? 368 : 227);
  return static_cast<uint16_t>(top - 2 * (index - 2u));
}

bool TlumGdz1208::ReadPair(uint16_t start, uint32_t& value) {
  Bytes4 b{};
  if (!ReadHoldingRegisters(start, 2, b) || !Succeeded()) return false;
  value = BigEndianU32(b);
  return true;
}

float TlumGdz1208::ReadFloatPair(uint16_t start) {
  uint32_t bits = 0;
  return ReadPair(start, bits) ? FloatFromBits(bits) : 0.0f;
}

std::string TlumGdz1208::GetDeviceNumber() {
  // A failed read leaves the zeroed buffer: channels not swapped.
  Bytes4 swap{};
  ReadHoldingRegisters(320, 2, swap);
  channelSwap_ = swap[1] != 0;
  uint32_t serial = 0;
  return ReadPair(315, serial) ? SerialNumberText(serial) : std::string();
}

float TlumGdz1208::ClbReadG(uint8_t channel) {
  return ValidChannel(channel) ? ReadFloatPair(channel == 1 ? 0 : 2) : 0.0f;
}

float TlumGdz1208::ClbReadGmax(uint8_t channel) {
  return ValidChannel(channel) ? ReadFloatPair(channel == 1 ? 299 : 301) : 0.0f;
}

float TlumGdz1208::ClbReadSFR(uint8_t channel) {
  if (!ValidChannel(channel)) return 0;
  if (channelSwap_) channel = channel == 1 ? 2 : 1;
  const uint16_t reg = altRegMapping_ ? (channel == 1 ? 97 : 107) : (channel == 1 ? 107 : 105);
  uint32_t raw = 0;
  if (!ReadPair(reg, raw)) return 0;
  return static_cast<float>(static_cast<int32_t>(raw));
}

float TlumGdz1208::StoredValue(uint8_t index, const Bytes4& raw) {
  const uint32_t bits = BigEndianU32(raw);
  return index == 0 ? static_cast<float>(static_cast<int16_t>(bits >> 16)) : FloatFromBits(bits);
}

bool TlumGdz1208::ClbReadLists(std::span<CoefficientLists> lists) {
  bool all = true;
  for (uint8_t channel = 1; channel <= std::min<size_t>(lists.size(), 2); ++channel) {
    for (const RegisterRun& run : CoefficientRuns(channel)) {
      std::vector<uint8_t> bytes(2u * run.count);
      // The engine fails a reply with fewer registers than asked for.
      if (!ReadHoldingRegisters(run.first, run.count, bytes) || !Succeeded()) {
        all = false;
        continue;
      }
      TakeCoefficients(
          lists[channel - 1u], channel, 2u * run.first, bytes,
          [channel](CoefList list, uint8_t index) {
            return 2u * CoefRegister(list, channel, index);
          },
          StoredValue);
    }
  }
  return all;
}

bool TlumGdz1208::ClbReadSoftVer(std::string& text) {
  std::string read = GetSoftVer();
  if (!Succeeded()) return false;
  text = read;
  return true;
}

std::string TlumGdz1208::GetSoftVer() {
  std::array<uint8_t, 2> reg{};
  if (!ReadHoldingRegisters(318, 1, reg) || !Succeeded()) return {};
  char text[16];
  std::snprintf(text, sizeof text, "%.02d.%.02d", reg[0], reg[1]);
  return text;
}

bool TlumGdz1208::ReadValue(CoefList list, uint8_t channel, uint8_t index, float& value,
                            Bytes4& raw) {
  // K0 is one register, but the meter is asked for two like every value.
  if (!ReadHoldingRegisters(CoefRegister(list, channel, index), 2, raw) || !Succeeded())
    return false;
  value = StoredValue(index, raw);
  return true;
}

bool TlumGdz1208::ClbReadRecord(CalibrationRecordBytes& record) {
  CalibrationRecordBytes read{};
  if (!ReadHoldingRegisters(kRecordRegister, 8, read) || !Succeeded()) return false;
  record = read;
  return true;
}

bool TlumGdz1208::WriteValue(CoefList list, uint8_t channel, uint8_t index, float value) {
  const uint16_t reg = CoefRegister(list, channel, index);
  if (index == 0) {
    // Truncated toward zero; values beyond any integer (and NaN) are pinned
    // first, since converting them is undefined.
    const double t = std::isnan(value)
                         ? 0.0
                         : std::trunc(std::clamp<double>(value, -2147483648.0, 2147483647.0));
    const auto k0 = static_cast<uint16_t>(static_cast<uint32_t>(static_cast<int32_t>(t)));
    const std::array<uint8_t, 2> b = {static_cast<uint8_t>(k0 >> 8), static_cast<uint8_t>(k0)};
    return WriteMultipleRegisters(reg, 1, b) && Succeeded();
  }
  return WriteMultipleRegisters(reg, 2, BigEndianBytes(BitsOfFloat(value))) && Succeeded();
}

std::vector<Coefficient> TlumGdz1208::ResetItems() const {
  std::vector<Coefficient> items;
  for (uint8_t channel = 1; channel <= (altRegMapping_ ? 2 : 1); ++channel) {
    items.push_back(CoefTarget(CoefList::K, channel, 0, 0.0f));
    items.push_back(CoefTarget(CoefList::K, channel, 1, kResetKu));
    for (CoefList list : {CoefList::K, CoefList::Obr})
      for (uint8_t i = 2; i <= 9; ++i)
        items.push_back(CoefTarget(list, channel, i, kResetPoints[i - 2u]));
  }
  return items;
}

bool TlumGdz1208::ResetK() {
  for (const Coefficient& c : ResetItems()) {
    if (c.ref.list == CoefList::K)
      ClbWriteK(c.ref.channel, c.ref.index, c.stored);
    else
      ClbWriteObr(c.ref.channel, c.ref.index, c.stored);
  }
  return Succeeded();
}

bool TlumGdz1208::WriteRecord(const CalibrationRecordBytes& record) {
  return WriteMultipleRegisters(kRecordRegister, 8, record) && Succeeded();
}
