// Both coefficient lists of one channel as a whole-area read hands them over:
// for each value whether it came, the stored value (what ClbWriteK and
// ClbWriteObr take back) and its bytes as the meter keeps them.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "drivers/ByteOrder.h"

// The two lists of coefficients: index 0 (K0) and 1 (Ku) are the same stored
// values in both; 2..9 are separate calibration points.
enum class CoefList { K, Obr };

struct StoredCoefficient {
  bool read = false;
  float value = 0;
  Bytes4 raw{};
};

struct CoefficientLists {
  std::array<StoredCoefficient, 10> k{};
  std::array<StoredCoefficient, 10> obr{};

  StoredCoefficient& At(CoefList list, uint8_t index) {
    return list == CoefList::K ? k[index] : obr[index];
  }
};

// Takes from `bytes`, the meter's memory from byte address `start` on, every
// coefficient whose four bytes lie wholly inside it. locate(list, index) gives
// a coefficient's byte address, decode(index, raw) its stored value.
template <class Locate, class Decode>
void TakeCoefficients(CoefficientLists& lists, uint32_t start, std::span<const uint8_t> bytes,
                      Locate locate, Decode decode) {
  for (CoefList list : {CoefList::K, CoefList::Obr}) {
    for (uint8_t index = 0; index <= 9; ++index) {
      const uint32_t at = locate(list, index);
      if (at < start || at - start + 4 > bytes.size()) continue;
      StoredCoefficient& c = lists.At(list, index);
      std::copy_n(bytes.begin() + (at - start), 4, c.raw.begin());
      c.value = decode(index, c.raw);
      c.read = true;
    }
  }
}
