#include "LumModBusFrame.h"

#include "LumUtils.h"

namespace lummodbus {

namespace {

// Address, function code, exception code and CRC: also the length assumed
// until the header tells better.
constexpr size_t kShortFrame = 5;

// The reply length that the header bytes announce, from byte 2 on.
size_t LengthFromFunction(uint8_t function, uint8_t byteCount) {
  switch (function) {
    case kReadHoldingRegisters:
      return size_t{byteCount} + 5;  // address, function, count, data, CRC
    case kWriteSingleRegister:
    case kWriteMultipleRegisters:
      return 8;  // address, function, two 16-bit fields, CRC
    case kReportSlaveId:
      return 6;  // until byte 3 gives the identification length
    case kReadLongBlock:
      return 133;
    default:
      return kShortFrame;  // exceptions and anything unknown
  }
}

// The longest reply any header byte can announce must fit the buffer.
constexpr size_t kLongestReply = 255 + 6;
static_assert(kLongestReply <= kReceiveBufferSize);

}  // namespace

void ReplyAssembler::Start() {
  position_ = 0;
  expected_ = kShortFrame;
  finished_ = false;
  complete_ = false;
  address_.reset();
  strays_ = 0;
}

void ReplyAssembler::StartFrom(uint8_t address, uint8_t function) {
  Start();
  address_ = address;
  function_ = function;
}

bool ReplyAssembler::FitsHeader(uint8_t byte) const {
  if (!address_ || position_ > 1) return true;
  if (position_ == 0) return byte == *address_;
  return (byte & 0x7F) == function_;
}

std::optional<uint32_t> ReplyAssembler::Take(uint8_t byte) {
  if (finished_) {
    const auto address = address_;
    Start();
    if (address) StartFrom(*address, function_);
  }
  const auto result = Step(byte);
  finished_ = result.has_value();
  complete_ = result == lumOk;
  return result;
}

std::optional<uint32_t> ReplyAssembler::Step(uint8_t byte) {
  if (!FitsHeader(byte)) {
    if (++strays_ > kMaxStrayBytes) return lumErrRead;
    // The byte that broke the header may itself be the sender's address.
    position_ = 0;
    if (!FitsHeader(byte)) return std::nullopt;
  }
  buffer_[position_] = byte;
  if (position_ == 2) expected_ = LengthFromFunction(buffer_[1], buffer_[2]);
  if (position_ == kIdLengthIndex && buffer_[1] == kReportSlaveId)
    expected_ = size_t{buffer_[kIdLengthIndex]} + 6;
  if (expected_ > buffer_.size()) return lumErrPacketSize;
  if (++position_ < expected_) return std::nullopt;
  const auto frame = std::span<const uint8_t>(buffer_).first(expected_);
  const uint16_t crc = Crc16(0xFFFF, frame.first(expected_ - 2));
  if (frame[expected_ - 2] != (crc & 0xFF) || frame[expected_ - 1] != (crc >> 8))
    return lumErrChecksum;
  return lumOk;
}

}  // namespace lummodbus
