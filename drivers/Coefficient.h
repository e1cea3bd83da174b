// One calibration coefficient, the same value from the driver that reads it to
// every front end that shows it: where it sits (list, channel, index), whether
// the meter gave it, the value as the driver's ClbWriteK / ClbWriteObr take it
// back, and the four bytes as the meter keeps them, in its own byte order (for
// the GDZ-12.08's K0, one register, the two registers read for it). A write
// target is the same value with the stored number it is to hold.
#pragma once

#include <cstdint>

#include "comm/ByteOrder.h"

// The two lists of coefficients: index 0 (K0) and 1 (Ku) are the same stored
// values in both; 2..9 are separate calibration points.
enum class CoefList { K, Obr };

// A value a read was to fetch: read, failed (the window shows "ERR"), or not
// read at all by this model's path.
enum class ValueState { NotRead, Read, Failed };

struct CoefRef {
  CoefList list = CoefList::K;
  uint8_t channel = 1;  // 1 or 2
  uint8_t index = 0;    // 0..9
  bool operator==(const CoefRef&) const = default;
  // K0 and Ku are one stored value in both lists: K[0] and Obr[0] are the
  // same place in the meter.
  bool SamePlace(const CoefRef& other) const {
    return channel == other.channel && index == other.index && (list == other.list || index <= 1);
  }
};

struct Coefficient {
  CoefRef ref;
  ValueState state = ValueState::NotRead;
  float stored = 0;
  Bytes4 raw{};
  bool Read() const { return state == ValueState::Read; }
  bool operator==(const Coefficient&) const = default;
};

// A target to write: the place and the stored value it is to hold.
inline Coefficient CoefTarget(CoefList list, uint8_t channel, uint8_t index, float stored) {
  return {{list, channel, index}, ValueState::Read, stored, {}};
}
