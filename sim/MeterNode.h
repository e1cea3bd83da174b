// One node of a virtual meter: its network address, its memory areas and
// its clock. A two-node GDZ-12.07S has two of them.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/MeterClock.h"
#include "sim/SimTypes.h"

namespace metersim {

struct MeterNode {
  uint8_t address = 0;
  std::vector<uint8_t> areas[kMemoryAreaCount];
  MeterClock clock;
  std::vector<uint8_t>& Area(MemoryArea a) { return areas[static_cast<size_t>(a)]; }
  const std::vector<uint8_t>& Area(MemoryArea a) const { return areas[static_cast<size_t>(a)]; }
};

}  // namespace metersim
