// Both coefficient lists of one channel as a whole-area read hands them over:
// for each value whether it came, the stored value (what ClbWriteK and
// ClbWriteObr take back) and its bytes as the meter keeps them.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "comm/ByteOrder.h"
#include "drivers/Coefficient.h"

struct CoefficientLists {
  std::array<Coefficient, 10> k{};
  std::array<Coefficient, 10> obr{};

  Coefficient& At(CoefList list, uint8_t index) {
    return list == CoefList::K ? k[index] : obr[index];
  }
};

// Takes from `bytes`, the meter's memory from byte address `start` on, every
// coefficient whose four bytes lie wholly inside it. locate(list, index) gives
// a coefficient's byte address, decode(index, raw) its stored value.
template <class Locate, class Decode>
void TakeCoefficients(CoefficientLists& lists, uint8_t channel, uint32_t start,
                      std::span<const uint8_t> bytes, Locate locate, Decode decode) {
  for (CoefList list : {CoefList::K, CoefList::Obr}) {
    for (uint8_t index = 0; index <= 9; ++index) {
      const uint32_t at = locate(list, index);
      if (at < start || at - start + 4 > bytes.size()) continue;
      Coefficient& c = lists.At(list, index);
      c.ref = {list, channel, index};
      std::copy_n(bytes.begin() + (at - start), 4, c.raw.begin());
      c.stored = decode(index, c.raw);
      c.state = ValueState::Read;
    }
  }
}
