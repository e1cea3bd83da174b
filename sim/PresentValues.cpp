#include "sim/PresentValues.h"

#include <bit>
#include <cmath>

namespace metersim {

namespace {

void PutU32(std::vector<uint8_t>& area, size_t at, uint32_t v, bool bigEndian) {
  for (size_t i = 0; i < 4; ++i) {
    const size_t shift = bigEndian ? 24 - 8 * i : 8 * i;
    area[at + i] = static_cast<uint8_t>(v >> shift);
  }
}

void PutFloat(std::vector<uint8_t>& area, size_t at, float f, bool bigEndian = true) {
  PutU32(area, at, std::bit_cast<uint32_t>(f), bigEndian);
}

// SFR as the GDZ-12.08 keeps it: a whole signed number, pinned to its range.
uint32_t SfrCount(float sfr) {
  const double pinned = std::fmax(-2147483648.0, std::fmin(2147483647.0, std::round(sfr)));
  return static_cast<uint32_t>(static_cast<int32_t>(pinned));
}

}  // namespace

void PutPresentValues(MeterModel model, std::vector<MeterNode>& nodes, int channel, float g,
                      float sfr) {
  if (channel != 1 && channel != 2) return;
  const auto offset = static_cast<size_t>(4 * (channel - 1));
  switch (model) {
    case MeterModel::Zfk31:
      PutFloat(nodes[0].Area(MemoryArea::Present), offset, g);
      return;
    case MeterModel::Zfk36:
      PutFloat(nodes[0].Area(MemoryArea::Ram), 160 + offset, g);
      PutFloat(nodes[0].Area(MemoryArea::Present), offset, g);
      PutFloat(nodes[0].Area(MemoryArea::Ram), offset, sfr);
      return;
    case MeterModel::Gdz1207s:
    case MeterModel::Gdz1207s2: {
      const auto node = static_cast<size_t>(channel - 1);
      if (node >= nodes.size()) return;
      PutFloat(nodes[node].Area(MemoryArea::Ram), 180, g, false);
      PutFloat(nodes[node].Area(MemoryArea::Ram), 176, sfr, false);
      PutFloat(nodes[node].Area(MemoryArea::Present), 0, g);
      return;
    }
    case MeterModel::Gdz1208:
    case MeterModel::Gdz1208x2: {
      auto& regs = nodes[0].Area(MemoryArea::Registers);
      PutFloat(regs, offset, g);  // register 0 or 2
      const bool alt = model == MeterModel::Gdz1208x2;
      const size_t sfrReg = channel == 1 ? (alt ? 97 : 107) : (alt ? 107 : 105);
      PutU32(regs, 2 * sfrReg, SfrCount(sfr), true);
      return;
    }
  }
}

float FlowNoise::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  // The top 24 bits, as a float is exact to 24 bits.
  return static_cast<float>(z >> 40) / static_cast<float>(1u << 23) - 1.0f;
}

}  // namespace metersim
