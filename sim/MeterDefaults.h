// What a factory-fresh, calibrated virtual meter of each model holds.
#pragma once

#include <string>
#include <vector>

#include "sim/VirtualMeter.h"

namespace metersim {

struct MeterContents {
  std::vector<VirtualMeter::Node> nodes;  // addresses left to the caller
  std::string idText;
  std::string softVersion;
};

// Memory of every node sized and filled for the model: serial number, Gmax,
// K0, Ku, calibration points, present values and a calibration record whose
// seal starts with 'C' ("C1051234": version 1.05, licence 1234, calibrated
// 22.07.2016 10:30:00), at the places the model keeps them.
MeterContents DefaultContents(MeterModel model);

// Where the model keeps its serial number: area, first byte, length (of the
// first node).
struct SerialPlace {
  MemoryArea area;
  uint32_t address;
  size_t size;
};
SerialPlace SerialPlaceOf(MeterModel model);

// The calibration points that a coefficient reset writes (index 2 to 9); the
// defaults hold values near them.
inline constexpr float kResetPoints[8] = {0.001f, 0.0025f, 0.005f, 0.01f, 0.02f, 0.04f, 0.1f, 0.5f};

}  // namespace metersim
