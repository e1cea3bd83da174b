// The present values of a meter's two channels: where each model shows them
// and how they move around a set flow.
//
// G is the channel's flow; SFR follows it at kSfrPerFlow counts per unit of
// G (what SFR means is the meter's; the virtual one only keeps the two
// consistent). Places, every float most significant byte first unless said
// otherwise:
//   ZFK-31      G in the present values (group 0x0C command 0x00), fields 1 and 2
//   ZFK-36      G at RAM 160/164 and in the present values, SFR at RAM 0/4
//   GDZ-12.07S  one channel per node: G at RAM 180 and SFR at RAM 176, least
//               significant byte first, G also in the present values' field 1
//   GDZ-12.08   G in registers 0/2; SFR a signed 32-bit number in registers
//               107/105 (97/107 on the two-channel variant)
#pragma once

#include <cstdint>
#include <vector>

#include "sim/MeterNode.h"

namespace metersim {

inline constexpr float kSfrPerFlow = 100.0f;

// Puts the channel's G and SFR at the model's places. A channel the model
// does not have (2 on the one-node GDZ-12.07S) is left alone; a model
// without SFR takes only G.
void PutPresentValues(MeterModel model, std::vector<MeterNode>& nodes, int channel, float g,
                      float sfr);

// Deterministic noise: a fixed sequence for each seed (splitmix64), so a
// test that sets the seed sees the same values on every run.
class FlowNoise {
 public:
  explicit FlowNoise(uint64_t seed = 1) : state_(seed) {}
  // The next number, evenly spread over [-1, 1).
  float Next();

 private:
  uint64_t state_;
};

}  // namespace metersim
