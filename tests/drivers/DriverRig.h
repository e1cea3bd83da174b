// A calibration driver talking to a virtual meter in process, on virtual
// time, and helpers to state what went over the line.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "comm/LuMComPort.h"
#include "comm/LumClock.h"
#include "comm/LumUtils.h"
#include "comm/serial/SerialDevice.h"
#include "sim/MeterDevice.h"
#include "sim/MeterSim.h"
#include "support/VirtualTime.h"

namespace drivertest {

using metersim::Fault;
using metersim::FaultKind;
using metersim::MemoryArea;
using metersim::MeterModel;
using metersim::RequestKind;
using metersim::RequestRecord;
using metersim::VirtualMeter;
using Bytes = std::vector<uint8_t>;

// "3F 80 00 00" -> {0x3F, 0x80, 0x00, 0x00}
inline Bytes Hex(const std::string& text) {
  std::istringstream in(text);
  Bytes bytes;
  std::string word;
  while (in >> word)
    bytes.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
  return bytes;
}

inline uint32_t Bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}
inline float FromBits(uint32_t b) {
  float f;
  std::memcpy(&f, &b, 4);
  return f;
}
inline Bytes BigEndian(float f) {
  const uint32_t b = Bits(f);
  return {static_cast<uint8_t>(b >> 24), static_cast<uint8_t>(b >> 16),
          static_cast<uint8_t>(b >> 8), static_cast<uint8_t>(b)};
}
inline Bytes LittleEndian(float f) {
  Bytes b = BigEndian(f);
  return {b[3], b[2], b[1], b[0]};
}

// One request as the meter heard it: what, where, how much.
struct Tx {
  RequestKind kind;
  uint32_t start;
  uint32_t length;
  bool operator==(const Tx&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Tx& t) {
  return os << metersim::RequestKindName(t.kind) << '@' << t.start << '+' << t.length;
}

inline std::vector<Tx> Transactions(const std::vector<RequestRecord>& log) {
  std::vector<Tx> out;
  for (const auto& r : log)
    out.push_back({r.kind, r.start, r.length});
  return out;
}

inline size_t CountWrites(const std::vector<RequestRecord>& log) {
  size_t n = 0;
  for (const auto& r : log)
    n += r.writes ? 1 : 0;
  return n;
}

inline Fault Silence(RequestKind kind, uint32_t skip = 0, uint32_t times = 0) {
  Fault f;
  f.kind = FaultKind::Silence;
  f.request = kind;
  f.skip = skip;
  f.times = times;
  return f;
}

inline LumDateTime At(uint16_t year, uint8_t month, uint8_t day, uint8_t hour, uint8_t minute,
                      uint8_t second) {
  LumDateTime t;
  t.Year = year;
  t.Month = month;
  t.Day = day;
  t.Hour = hour;
  t.Minute = minute;
  t.Second = second;
  return t;
}

// Fixes the local calendar time that calibration records take.
class ScopedLocalTime {
 public:
  explicit ScopedLocalTime(LumDateTime t) { Set(t); }
  ~ScopedLocalTime() { lum::SetLocalDateTimeSource({}); }
  ScopedLocalTime(const ScopedLocalTime&) = delete;
  ScopedLocalTime& operator=(const ScopedLocalTime&) = delete;
  void Set(LumDateTime t) {
    lum::SetLocalDateTimeSource([t] { return t; });
  }
};

// The driver's port is bound to the meter; the port is open and the driver
// addresses the meter. Pacing is off, and time is virtual anyway.
template <class Driver>
class MeterRig {
 public:
  static constexpr uint8_t kPort = 61;

  explicit MeterRig(MeterModel model, uint8_t address = 1)
      : meter(std::make_shared<VirtualMeter>(model, address, Fast())) {
    metersim::BindMeterToPort(kPort, meter);
    port.SetComPort(kPort);
    port.SetBaudRate(9600);
    opened = port.Open();
    driver.SetComPort(&port);
    driver.SetNetAddr(address);
  }
  ~MeterRig() {
    port.Close();
    lum::UnbindSerialPort(kPort);
  }
  MeterRig(const MeterRig&) = delete;
  MeterRig& operator=(const MeterRig&) = delete;

  std::vector<RequestRecord> Log() const { return meter->Requests(); }
  std::vector<Tx> Txs() const { return Transactions(meter->Requests()); }
  void Forget() { meter->ClearRequests(); }

  ScopedVirtualTime time;
  std::shared_ptr<VirtualMeter> meter;
  TlumComPort port;
  Driver driver;
  bool opened = false;

 private:
  static metersim::MeterOptions Fast() {
    metersim::MeterOptions o;
    o.pacing = false;
    return o;
  }
};

}  // namespace drivertest
