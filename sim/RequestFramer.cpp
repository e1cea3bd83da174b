#include "sim/RequestFramer.h"

#include <optional>

#include "sim/SimCodec.h"

namespace metersim {

namespace {

// More than any request of either protocol can be; older bytes are noise.
constexpr size_t kMaxPending = 600;

enum class Candidate { Invalid, Incomplete, Valid };

struct Check {
  Candidate state;
  size_t length;
};

// A 3x request starting at offset `at`.
Check Check3x(std::span<const uint8_t> buf, size_t at) {
  const auto b = buf.subspan(at);
  if (b[0] != kRequestStart) return {Candidate::Invalid, 0};
  if (b.size() < 3) return {Candidate::Incomplete, 0};
  if (b[2] != static_cast<uint8_t>(~b[1])) return {Candidate::Invalid, 0};
  if (b.size() < 6) return {Candidate::Incomplete, 0};
  const size_t length = size_t{b[5]} + 7;
  if (b.size() < length) return {Candidate::Incomplete, length};
  if (b[length - 1] != Checksum3x(b.first(length - 1))) return {Candidate::Invalid, 0};
  return {Candidate::Valid, length};
}

// Frame length of a ModBus request by its function code, as far as the bytes
// so far tell it; 0 when more bytes are needed first.
std::optional<size_t> ModBusLength(std::span<const uint8_t> b) {
  switch (b[1]) {
    case 3:
    case 6:
      return 8;
    case 16:
      if (b.size() < 7) return 0;
      return size_t{b[6]} + 9;
    case 17:
      return 4;
    default:
      return std::nullopt;  // a function these meters do not know
  }
}

Check CheckModBus(std::span<const uint8_t> buf, size_t at) {
  const auto b = buf.subspan(at);
  if (b.size() < 2) return {Candidate::Incomplete, 0};
  const auto length = ModBusLength(b);
  if (!length) return {Candidate::Invalid, 0};
  if (*length == 0 || b.size() < *length) return {Candidate::Incomplete, *length};
  const uint16_t crc = ModBusCrc(b.first(*length - 2));
  if (b[*length - 2] != (crc & 0xFF) || b[*length - 1] != (crc >> 8))
    return {Candidate::Invalid, 0};
  return {Candidate::Valid, *length};
}

// Takes every valid frame out of `pending`, dropping what cannot begin one.
template <typename CheckFn>
void Extract(std::vector<uint8_t>& pending, Protocol protocol, CheckFn check,
             std::vector<RequestFrame>& out) {
  for (;;) {
    // Drop false starts at the front until a frame is complete or may still be.
    while (!pending.empty() && check(pending, 0).state == Candidate::Invalid)
      pending.erase(pending.begin());
    if (pending.empty()) return;
    // The earliest complete valid frame anywhere, the front included.
    bool found = false;
    for (size_t at = 0; at < pending.size(); ++at) {
      const Check c = check(pending, at);
      if (c.state != Candidate::Valid) continue;
      const auto first = pending.begin() + static_cast<std::ptrdiff_t>(at);
      out.push_back(
          {protocol, std::vector<uint8_t>(first, first + static_cast<std::ptrdiff_t>(c.length))});
      pending.erase(pending.begin(), first + static_cast<std::ptrdiff_t>(c.length));
      found = true;
      break;
    }
    if (!found) break;
  }
  if (pending.size() > kMaxPending)
    pending.erase(pending.begin(),
                  pending.begin() + static_cast<std::ptrdiff_t>(pending.size() - kMaxPending));
}

}  // namespace

std::vector<RequestFrame> RequestFramer::Push(std::span<const uint8_t> bytes) {
  std::vector<RequestFrame> frames;
  pending3x_.insert(pending3x_.end(), bytes.begin(), bytes.end());
  pendingModBus_.insert(pendingModBus_.end(), bytes.begin(), bytes.end());
  Extract(pending3x_, Protocol::ThreeX, Check3x, frames);
  Extract(pendingModBus_, Protocol::ModBus, CheckModBus, frames);
  return frames;
}

void RequestFramer::Reset() {
  pending3x_.clear();
  pendingModBus_.clear();
}

}  // namespace metersim
