// What a frame of the line is, in the engineer's words, for a view of the
// traffic: the meter's address, and the 3x command or the ModBus function.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "LumFrameTap.h"

struct FrameSummary {
  std::optional<uint8_t> address;  // none for bytes that make no frame
  std::string name;  // "чтение Rtc2k", "чтение регистров (3)", ...
};

FrameSummary SummarizeFrame(FrameProtocol protocol, std::span<const uint8_t> bytes);
