#include "Lum3xFrame.h"

#include <algorithm>

#include "LumUtils.h"

namespace lum3x {

uint8_t Checksum(std::span<const uint8_t> bytes) {
  uint8_t sum = 0;
  for (uint8_t b : bytes)
    sum = static_cast<uint8_t>(sum + b);
  return static_cast<uint8_t>(~sum);
}

size_t BuildRequest(std::span<uint8_t> frame, uint8_t address, uint8_t group, uint8_t command,
                    std::span<const uint8_t> data) {
  const size_t length = data.size() + kFrameOverhead;
  if (data.size() > kMaxData || frame.size() < length) return 0;
  frame[0] = kRequestStart;
  frame[1] = address;
  frame[2] = static_cast<uint8_t>(~address);
  frame[3] = group;
  frame[4] = command;
  frame[5] = static_cast<uint8_t>(data.size());
  std::copy(data.begin(), data.end(), frame.begin() + 6);
  frame[length - 1] = Checksum(frame.first(length - 1));
  return length;
}

void ReplyAssembler::Start() {
  position_ = 0;
  expected_ = kFrameOverhead;
  strays_ = 0;
  finished_ = false;
  complete_ = false;
}

std::optional<uint32_t> ReplyAssembler::Take(uint8_t byte) {
  if (finished_) Start();
  const auto result = Step(byte);
  finished_ = result.has_value();
  complete_ = result == lumOk;
  return result;
}

std::optional<uint32_t> ReplyAssembler::Step(uint8_t byte) {
  buffer_[position_] = byte;
  switch (position_) {
    case 0:
      // Anything but the start byte is noise (or our own request echoed by an
      // RS-485 adapter); the next byte takes its place.
      if (byte != kReplyStart) {
        if (++strays_ > kMaxStrayBytes) return lumErrRead;
        return std::nullopt;
      }
      break;
    case 2:
      // The meter sends its address with its complement; a mismatch means a
      // garbled reply, and there is no point in waiting for the rest.
      if (byte != static_cast<uint8_t>(~buffer_[1])) return lumErrAddress;
      break;
    case 5:
      // A length the frame cannot hold would run past the buffer.
      if (byte > kMaxData) return lumErrPacketSize;
      expected_ = byte + kFrameOverhead;
      break;
    default:
      break;
  }
  if (++position_ < expected_) return std::nullopt;
  const auto frame = std::span<const uint8_t>(buffer_).first(expected_);
  if (frame.back() != Checksum(frame.first(expected_ - 1))) return lumErrChecksum;
  return lumOk;
}

std::span<const uint8_t> ReplyAssembler::Data() const {
  if (!complete_) return {};
  return std::span<const uint8_t>(buffer_).subspan(6, expected_ - kFrameOverhead);
}

}  // namespace lum3x
