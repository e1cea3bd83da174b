// What the fuzz harnesses share: the input read as a stream of bytes, a
// scripted serial line on virtual time bound to a port number or registered
// under a device name, and a check that stops the run with a message when a
// property does not hold (libFuzzer then keeps the input as a finding).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "comm/LumProtocol.h"
#include "support/ScriptedLine.h"
#include "support/VirtualTime.h"

namespace fuzz {

// Time-outs of the engines under test, and times about them, so that replies
// land on both sides of each limit.
constexpr uint32_t kPacketMs = 300;
constexpr uint32_t kByteMs = 40;
constexpr uint32_t kDelays[8] = {0, 1, 10, 290, 300, 310, 320, 500};
constexpr uint32_t kGaps[8] = {0, 1, 5, 39, 40, 50, 60, 200};
// What a caller's buffer holds before a read, to see whether it was touched.
constexpr uint8_t kFill = 0xA5;

// The engine under test on the port, at address 1, with the harness's
// time-outs and writes enabled.
inline void SetUpEngine(TlumProtocol& engine, TlumComPort& port, uint8_t attempts) {
  engine.SetComPort(&port);
  engine.SetNetAddr(1);
  engine.SetPacketTimeout(kPacketMs);
  engine.SetByteTimeout(kByteMs);
  engine.SetRepeatCount(attempts);
  engine.SetEWrite(true);
}

// True when data could have come from the line: empty, or a run of its bytes.
inline bool CameOffTheLine(std::span<const uint8_t> data, std::span<const uint8_t> line) {
  return data.empty() ||
         std::search(line.begin(), line.end(), data.begin(), data.end()) != line.end();
}

// The fuzz input, taken from the front.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : bytes_(data, size) {}
  bool Empty() const { return pos_ >= bytes_.size(); }
  // The next byte; 0 once the input is used up.
  uint8_t Byte() { return Empty() ? 0 : bytes_[pos_++]; }
  uint16_t Word() {
    const uint16_t high = Byte();
    return static_cast<uint16_t>(high << 8 | Byte());
  }
  // Up to n bytes.
  std::span<const uint8_t> Take(size_t n) {
    const size_t k = std::min(n, bytes_.size() - std::min(pos_, bytes_.size()));
    const auto part = bytes_.subspan(std::min(pos_, bytes_.size()), k);
    pos_ += k;
    return part;
  }
  std::span<const uint8_t> Rest() { return Take(bytes_.size()); }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
  std::abort();
}

}  // namespace fuzz

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::fuzz::Fail(#condition, __FILE__, __LINE__))
