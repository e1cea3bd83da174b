// Cuts the bytes a meter hears into request frames of either protocol.
//
// A meter on a shared line hears everything, including requests for other
// meters, the other protocol, and noise. Both framers run on every byte; a
// frame counts only when its check passes (3x: address complement and
// checksum; ModBus: CRC), and a start that proves false costs one byte, after
// which the search goes on from the next. A complete valid frame further on
// is taken even while an earlier false start still waits for bytes, so that
// noise before a request never swallows it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sim/SimTypes.h"

namespace metersim {

struct RequestFrame {
  Protocol protocol;
  std::vector<uint8_t> bytes;
};

class RequestFramer {
 public:
  std::vector<RequestFrame> Push(std::span<const uint8_t> bytes);
  void Reset();

 private:
  std::vector<uint8_t> pending3x_;
  std::vector<uint8_t> pendingModBus_;
};

}  // namespace metersim
