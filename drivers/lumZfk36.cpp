#include "lumZfk36.h"

#include <algorithm>

#include "comm/ByteOrder.h"

namespace {

constexpr uint16_t kBlockAddress = 1504;
constexpr uint16_t kRecordAddress = 2016;
constexpr size_t kChannelSetSize = 72;
constexpr size_t kChecksummedBytes = 144;

}  // namespace

size_t TlumZfk36::CoefOffset(CoefList list, uint8_t channel, uint8_t index) {
  const size_t set = kChannelSetSize * (channel - 1u);
  if (index == 0) return set;
  if (index == 1) return set + 4;
  return set + (list == CoefList::Obr ? 8 : 40) + 4 * (index - 2u);
}

namespace {

// One's complement of the byte sum of the first 144 bytes.
uint16_t BlockChecksum(const CoefficientBlock& block) {
  uint16_t sum = 0;
  for (size_t i = 0; i < kChecksummedBytes; ++i)
    sum = static_cast<uint16_t>(sum + block[i]);
  return static_cast<uint16_t>(~sum);
}

}  // namespace

void TlumZfk36::SealBlock(CoefficientBlock& block) {
  const uint16_t sum = BlockChecksum(block);
  block[144] = static_cast<uint8_t>(sum >> 8);
  block[145] = static_cast<uint8_t>(sum);
}

bool TlumZfk36::ClbCheckBlock() {
  CoefficientBlock block{};
  return ReadBlock(block);
}

float TlumZfk36::StoredValue(uint8_t, const Bytes4& raw) {
  return FloatFromBits(BigEndianU32(raw));
}

bool TlumZfk36::ClbReadLists(std::span<CoefficientLists> lists) {
  CoefficientBlock block{};
  if (!ReadBlock(block)) return false;
  for (uint8_t channel = 1; channel <= std::min<size_t>(lists.size(), 2); ++channel)
    TakeCoefficients(
        lists[channel - 1u], channel, 0, block,
        [channel](CoefList list, uint8_t index) {
          return static_cast<uint32_t>(CoefOffset(list, channel, index));
        },
        StoredValue);
  return true;
}

std::string TlumZfk36::GetDeviceNumber() {
  Bytes4 b{};
  ReadRtc2k(338, b, 4);
  return Succeeded() ? SerialNumberText(BigEndianU32(b)) : std::string();
}

float TlumZfk36::ReadRamFloat(uint16_t address) {
  Bytes4 b{};
  ReadRAM(address, b, 4);
  return Succeeded() ? FloatFromBits(BigEndianU32(b)) : 0.0f;
}

float TlumZfk36::ClbReadG(uint8_t channel) {
  return ValidChannel(channel) ? ReadRamFloat(static_cast<uint16_t>(160 + 4 * (channel - 1u)))
                               : 0.0f;
}

float TlumZfk36::ClbReadSFR(uint8_t channel) {
  return ValidChannel(channel) ? ReadRamFloat(static_cast<uint16_t>(4 * (channel - 1u))) : 0.0f;
}

bool TlumZfk36::ReadValue(CoefList list, uint8_t channel, uint8_t index, float& value,
                          Bytes4& raw) {
  ReadRtc2k(static_cast<uint16_t>(kBlockAddress + CoefOffset(list, channel, index)), raw, 4);
  if (!Succeeded()) return false;
  value = StoredValue(index, raw);
  return true;
}

float TlumZfk36::ClbReadGmax(uint8_t channel) {
  if (!ValidChannel(channel)) return 0;
  Bytes4 b{};
  ReadRtc2k(channel == 1 ? 308 : 312, b, 4);
  return Succeeded() ? FloatFromBits(BigEndianU32(b)) : 0.0f;
}

bool TlumZfk36::ClbReadRecord(CalibrationRecordBytes& record) {
  CalibrationRecordBytes read{};
  ReadRtc2k(kRecordAddress, read, 16);
  if (!Succeeded()) return false;
  record = read;
  return true;
}

bool TlumZfk36::ReadBlock(CoefficientBlock& block) {
  // A reply with less than the whole block would leave zeros in place of the
  // missing coefficients, and the fresh checksum would make the meter take
  // them: the read asks for the whole block, so the engine fails a short
  // reply (code 3) and such a block is never written back.
  ReadRtc2kP(kBlockAddress, block.data(), static_cast<uint8_t>(block.size()));
  if (!Succeeded()) return false;
  blockSum_ = {true, static_cast<uint16_t>(block[144] << 8 | block[145]), BlockChecksum(block)};
  return true;
}

bool TlumZfk36::WriteValue(CoefList list, uint8_t channel, uint8_t index, float value) {
  CoefficientBlock block{};
  if (!ReadBlock(block)) return false;
  const Bytes4 b = BigEndianBytes(BitsOfFloat(value));
  std::copy(b.begin(), b.end(),
            block.begin() + static_cast<std::ptrdiff_t>(CoefOffset(list, channel, index)));
  return WriteBlock(block);
}

bool TlumZfk36::ClbWriteAll(uint8_t channel, std::span<const float, 18> values) {
  if (!ValidChannel(channel)) return false;
  CoefficientBlock block{};
  if (!ReadBlock(block)) return false;
  const size_t set = kChannelSetSize * (channel - 1u);
  for (size_t i = 0; i < values.size(); ++i) {
    const Bytes4 b = BigEndianBytes(BitsOfFloat(values[i]));
    std::copy(b.begin(), b.end(), block.begin() + static_cast<std::ptrdiff_t>(set + 4 * i));
  }
  return WriteBlock(block);
}

bool TlumZfk36::ClbWriteItems(std::span<const Coefficient> items) {
  for (const Coefficient& c : items)
    if (!ValidArgs(c.ref.channel, c.ref.index)) return false;
  CoefficientBlock block{};
  if (!ReadBlock(block)) return false;
  for (const Coefficient& c : items) {
    const Bytes4 b = BigEndianBytes(BitsOfFloat(c.stored));
    std::copy(b.begin(), b.end(),
              block.begin() +
                  static_cast<std::ptrdiff_t>(CoefOffset(c.ref.list, c.ref.channel, c.ref.index)));
  }
  return WriteBlock(block);
}

bool TlumZfk36::WriteBlock(CoefficientBlock& block) {
  SealBlock(block);
  // The meter takes the block in 8-byte pieces until 64 bytes or fewer remain,
  // then the rest in one piece: eleven of 8 bytes and a last one of 58.
  size_t offset = 0;
  while (offset < block.size()) {
    const size_t remaining = block.size() - offset;
    const size_t piece = remaining > 64 ? 8 : remaining;
    WriteRtc2kP(static_cast<uint16_t>(kBlockAddress + offset), block.data() + offset,
                static_cast<uint8_t>(piece));
    if (!Succeeded()) return false;
    offset += piece;
  }
  ClbWriteSealmark();  // a failed record is tried again by the next write
  return true;
}

bool TlumZfk36::WriteRecord(const CalibrationRecordBytes& record) {
  WriteRtc2k(kRecordAddress, record, 16);
  return Succeeded();
}

uint8_t TlumZfk36::SendTwice(uint16_t command) {
  uint8_t status = SendCmd(command);
  if (!Succeeded()) status = SendCmd(command);
  return status;
}
