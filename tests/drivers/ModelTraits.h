// What the shared tests need to know of each model: its virtual meter, where
// its calibration record lies and which requests carry it.
#pragma once

#include "DriverRig.h"
#include "drivers/lumGdz1207s.h"
#include "drivers/lumGdz1208.h"
#include "drivers/lumZfk31.h"
#include "drivers/lumZfk36.h"

namespace drivertest {

struct Zfk31Model {
  static constexpr bool kFloatsLittleEndian = false;
  using Driver = TlumZfk31;
  static constexpr MeterModel kModel = MeterModel::Zfk31;
  static constexpr RequestKind kRead = RequestKind::ReadRtc2k;
  static constexpr RequestKind kWrite = RequestKind::WriteRtc2k;
  static Bytes Record(const VirtualMeter& m) { return m.Read(MemoryArea::Rtc2k, 32, 16); }
  static std::vector<Tx> RecordTxs() { return {{kWrite, 32, 16}}; }
  static Bytes Memory(const VirtualMeter& m) { return m.Read(MemoryArea::Rtc2k, 0, 2048); }
};

struct Zfk36Model {
  static constexpr bool kFloatsLittleEndian = false;
  using Driver = TlumZfk36;
  static constexpr MeterModel kModel = MeterModel::Zfk36;
  static constexpr RequestKind kRead = RequestKind::ReadRtc2k;
  static constexpr RequestKind kWrite = RequestKind::WriteRtc2k;
  static Bytes Record(const VirtualMeter& m) { return m.Read(MemoryArea::Rtc2k, 2016, 16); }
  static std::vector<Tx> RecordTxs() { return {{kWrite, 2016, 16}}; }
  static Bytes Memory(const VirtualMeter& m) { return m.Read(MemoryArea::Rtc2k, 0, 2048); }
};

struct Gdz1207sModel {
  static constexpr bool kFloatsLittleEndian = true;
  using Driver = TlumGdz1207s;
  static constexpr MeterModel kModel = MeterModel::Gdz1207s;
  static constexpr RequestKind kRead = RequestKind::ReadRtc2k;
  static constexpr RequestKind kWrite = RequestKind::WriteRtc2k;
  static Bytes Record(const VirtualMeter& m) { return m.Read(MemoryArea::Rtc2k, 496, 16); }
  static std::vector<Tx> RecordTxs() { return {{kWrite, 496, 8}, {kWrite, 504, 8}}; }
  static Bytes Memory(const VirtualMeter& m) { return m.Read(MemoryArea::Rtc2k, 0, 2048); }
};

struct Gdz1208Model {
  static constexpr bool kFloatsLittleEndian = false;
  using Driver = TlumGdz1208;
  static constexpr MeterModel kModel = MeterModel::Gdz1208;
  static constexpr RequestKind kRead = RequestKind::ReadRegisters;
  static constexpr RequestKind kWrite = RequestKind::WriteRegisters;
  static Bytes Record(const VirtualMeter& m) { return m.Read(MemoryArea::Registers, 2 * 171, 16); }
  static std::vector<Tx> RecordTxs() { return {{kWrite, 171, 8}}; }
  static Bytes Memory(const VirtualMeter& m) { return m.Read(MemoryArea::Registers, 0, 800); }
};

}  // namespace drivertest
