// What a snapshot must say of a virtual meter, worked out from the meter's own
// memory with the memory maps written down here once more, independently of
// the drivers: every byte and value of the snapshot is checked against it.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/core/values/MeterSnapshot.h"
#include "sim/VirtualMeter.h"

namespace oracle {

using metersim::MemoryArea;
using metersim::MeterModel;
using metersim::VirtualMeter;
using Bytes = std::vector<uint8_t>;

enum class Order { BigEndian, LittleEndian, Int16 };

struct Place {
  MemoryArea area;
  uint32_t at;  // byte address; register r is byte 2r
  size_t node = 0;
  Order order = Order::BigEndian;
};

inline bool IsGdz1207s(MeterModel m) {
  return m == MeterModel::Gdz1207s || m == MeterModel::Gdz1207s2;
}
inline bool IsGdz1208(MeterModel m) {
  return m == MeterModel::Gdz1208 || m == MeterModel::Gdz1208x2;
}

// Coefficient `index` of list K or Obr, channel ch (0, 1).
inline Place CoefPlace(MeterModel m, size_t ch, bool obr, uint32_t i) {
  const auto c = static_cast<uint32_t>(ch);
  switch (m) {
    case MeterModel::Zfk31:
      return {MemoryArea::Rtc2k, i == 0   ? 1792 + 4 * c
                                 : i == 1 ? 1816 + 4 * c
                                          : (obr ? 1888 : 1824) + 32 * c + 4 * (i - 2)};
    case MeterModel::Zfk36:
      return {MemoryArea::Rtc2k, 1504 + 72 * c +
                                     (i == 0   ? 0
                                      : i == 1 ? 4
                                               : (obr ? 8 : 40) + 4 * (i - 2))};
    case MeterModel::Gdz1207s:
    case MeterModel::Gdz1207s2:
      return {MemoryArea::Rtc2k,
              i == 0   ? 256
              : i == 1 ? 260
                       : (obr ? 296 : 264) + 4 * (i - 2),
              ch, Order::LittleEndian};
    default: {
      const uint32_t reg = i == 0   ? (ch ? 290 : 370)
                           : i == 1 ? (ch ? 291 : 371)
                                    : (obr ? (ch ? 227 : 368) : (ch ? 203 : 352)) - 2 * (i - 2);
      return {MemoryArea::Registers, 2 * reg, 0, i == 0 ? Order::Int16 : Order::BigEndian};
    }
  }
}

inline Bytes Raw(const VirtualMeter& m, const Place& p) {
  return m.Read(p.area, p.at, 4, p.node);
}

inline float Value(const VirtualMeter& m, const Place& p) {
  const Bytes b = Raw(m, p);
  if (p.order == Order::Int16) return static_cast<float>(static_cast<int16_t>(b[0] << 8 | b[1]));
  const uint32_t be = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
  const uint32_t le = uint32_t{b[3]} << 24 | uint32_t{b[2]} << 16 | uint32_t{b[1]} << 8 | b[0];
  return std::bit_cast<float>(p.order == Order::LittleEndian ? le : be);
}

// Gmax, G and SFR of channel ch; SFR nothing on the ZFK-31.
inline Place GmaxPlace(MeterModel m, size_t ch) {
  const auto c = static_cast<uint32_t>(ch);
  if (m == MeterModel::Zfk31) return {MemoryArea::Rtc2k, 204 + 4 * c};
  if (m == MeterModel::Zfk36) return {MemoryArea::Rtc2k, 308 + 4 * c};
  if (IsGdz1207s(m)) return {MemoryArea::Rtc2k, 16, ch, Order::LittleEndian};
  return {MemoryArea::Registers, 2 * (299 + 2 * c)};
}
inline Place GPlace(MeterModel m, size_t ch) {
  const auto c = static_cast<uint32_t>(ch);
  if (m == MeterModel::Zfk31) return {MemoryArea::Present, 4 * c};
  if (m == MeterModel::Zfk36) return {MemoryArea::Ram, 160 + 4 * c};
  if (IsGdz1207s(m)) return {MemoryArea::Ram, 180, ch, Order::LittleEndian};
  return {MemoryArea::Registers, 2 * 2 * c};
}

inline void ExpectValue(const SnapshotValue& v, float expected, const char* what) {
  EXPECT_EQ(v.state, ValueState::Read) << what;
  EXPECT_EQ(std::bit_cast<uint32_t>(v.value), std::bit_cast<uint32_t>(expected)) << what;
}

inline std::string Hex(const Bytes& b) {
  std::string s;
  for (uint8_t v : b) {
    char t[3];
    std::snprintf(t, sizeof t, "%02X", v);
    s += t;
  }
  return s;
}

// Seconds since 2000 of a clock's time; -1 when the bytes hold none.
inline int64_t ClockSeconds(const Bytes& raw) {
  MeterClockBytes b{};
  std::copy_n(raw.begin(), b.size(), b.begin());
  const auto t = DecodeMeterClock(b);
  if (!t) return -1;
  using namespace std::chrono;
  const sys_days day{year{2000 + t->Year} / t->Month / t->Day};
  return (day - sys_days{year{2000} / 1 / 1}).count() * 86400 + t->Hour * 3600 + t->Minute * 60 +
         t->Second;
}

// Every item of the snapshot against the meter's memory; the channels the
// model lacks must be absent. The meter's clock runs on while it is read, so
// its time may have moved on by a few seconds since.
inline void ExpectSnapshotOf(const MeterSnapshot& s, const VirtualMeter& m) {
  const MeterModel model = m.Model();
  const bool modbus = IsGdz1208(model);
  const size_t channels = model == MeterModel::Gdz1207s || model == MeterModel::Gdz1208 ? 1 : 2;
  EXPECT_EQ(s.result, ReadResult::Ok);
  for (size_t ch = 0; ch < 2; ++ch) {
    SCOPED_TRACE("channel " + std::to_string(ch + 1));
    const SnapshotChannel& c = s.channels[ch];
    ASSERT_EQ(c.present, ch < channels);
    if (!c.present) continue;
    for (uint32_t i = 0; i <= 9; ++i) {
      for (bool obr : {false, true}) {
        const Place p = CoefPlace(model, ch, obr, i);
        const Coefficient& k = obr ? c.obr[i] : c.k[i];
        EXPECT_EQ(k.state, ValueState::Read) << i;
        EXPECT_EQ(Hex(Bytes(k.raw.begin(), k.raw.end())), Hex(Raw(m, p)))
            << i << (obr ? " Obr" : " K");
        EXPECT_EQ(std::bit_cast<uint32_t>(k.stored), std::bit_cast<uint32_t>(Value(m, p))) << i;
      }
    }
    ExpectValue(c.gmax, Value(m, GmaxPlace(model, ch)), "Gmax");
    ExpectValue(c.g, Value(m, GPlace(model, ch)), "G");
    if (model == MeterModel::Zfk31) {
      EXPECT_EQ(c.sfr.state, ValueState::NotRead);
    } else if (model == MeterModel::Zfk36) {
      ExpectValue(c.sfr, Value(m, {MemoryArea::Ram, 4 * static_cast<uint32_t>(ch)}), "SFR");
    } else if (!modbus) {
      ExpectValue(c.sfr, Value(m, {MemoryArea::Ram, 176, ch, Order::LittleEndian}), "SFR");
    } else {
      // Signed 32-bit; channel 1 at 107 (97 with the second layout), 2 at 105 (107).
      const bool alt = model == MeterModel::Gdz1208x2;
      const uint16_t reg = ch == 0 ? (alt ? 97 : 107) : (alt ? 107 : 105);
      const auto v = static_cast<int32_t>(uint32_t{m.Register(reg)} << 16 | m.Register(reg + 1));
      ExpectValue(c.sfr, static_cast<float>(v), "SFR");
    }
  }

  const Bytes record = model == MeterModel::Zfk31   ? m.Read(MemoryArea::Rtc2k, 32, 16)
                       : model == MeterModel::Zfk36 ? m.Read(MemoryArea::Rtc2k, 2016, 16)
                       : modbus                     ? m.Read(MemoryArea::Registers, 2 * 171, 16)
                                : m.Read(MemoryArea::Rtc2k, 496, 16, channels - 1);
  EXPECT_EQ(s.record.state, ValueState::Read);
  EXPECT_EQ(Hex(Bytes(s.record.raw.begin(), s.record.raw.end())), Hex(record));

  std::string serial;
  if (model == MeterModel::Zfk31 || model == MeterModel::Zfk36) {
    const Bytes b = m.Read(MemoryArea::Rtc2k, model == MeterModel::Zfk31 ? 124 : 338, 4);
    serial =
        std::to_string(uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3]);
  } else if (modbus) {
    serial = std::to_string(uint32_t{m.Register(315)} << 16 | m.Register(316));
  } else {
    const Bytes b = m.Read(MemoryArea::Rtc2k, 0, 8);
    serial.assign(b.begin(), b.end());
  }
  EXPECT_EQ(s.serialState, ValueState::Read);
  EXPECT_EQ(s.serial, serial);

  std::string version = m.SoftVersion();
  if (modbus) {
    char t[8];
    std::snprintf(t, sizeof t, "%02u.%02u", m.Register(318) >> 8, m.Register(318) & 0xFFu);
    version = t;
  }
  EXPECT_EQ(s.softVerState, ValueState::Read);
  EXPECT_EQ(s.softVer, version);

  EXPECT_EQ(s.clock.state, modbus ? ValueState::NotRead : ValueState::Read);
  if (!modbus) {
    const int64_t snapshot = ClockSeconds(Bytes(s.clock.raw.begin(), s.clock.raw.end()));
    const int64_t now = ClockSeconds(m.Read(MemoryArea::Rtc128, 0, 10));
    EXPECT_GE(snapshot, 0);
    EXPECT_LE(now - snapshot, 5);
    EXPECT_GE(now - snapshot, 0);
  }
}

}  // namespace oracle
