// Helpers of the read tests: a virtual meter behind a device name on virtual
// time, a view that logs what the read did in order, and the meter's memory
// written the way each model keeps it.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/core/meter/MeterRead.h"
#include "app/core/meter/RecordingView.h"
#include "sim/MeterDevice.h"
#include "sim/MeterSim.h"
#include "support/ScriptedLine.h"
#include "support/VirtualTime.h"

namespace readtest {

using metersim::MemoryArea;
using metersim::MeterModel;
using metersim::RequestKind;
using metersim::RequestRecord;
using metersim::VirtualMeter;

// The device the tests' meters sit behind, and the port name the window
// would show for it.
inline const std::string kDevice = "read-test-meter";
inline const std::string kPortName = "COM41";

inline const std::string kNoData = "Нет данных или не поддерживается";

// Whether the port of the read's connection is open: during a read the
// connection being read, afterwards the last one.
inline bool PortOpen(const TMeterRead& read) {
  return read.LastConnection() && read.LastConnection()->Port().Active();
}

// The addresses the four drivers of the read's last connection hold,
// "ZFK-31,ZFK-36,GDZ-12.07S,GDZ-12.08".
inline std::string DriverAddresses(const TMeterRead& read) {
  const Connection* c = read.LastConnection();
  if (!c) return "none";
  return std::to_string(c->Zfk31().NetAddr()) + "," + std::to_string(c->Zfk36().NetAddr()) + "," +
         std::to_string(c->Gdz1207s().NetAddr()) + "," + std::to_string(c->Gdz1208().NetAddr());
}

// Logs every call of the read on its view, in order, with the port's state at
// that moment, and keeps the fields like RecordingView.
class OrderView : public RecordingView {
 public:
  explicit OrderView(const TMeterRead& read) : read_(read) {}

  void SetFieldText(ReadField field, const std::string& text) override {
    RecordingView::SetFieldText(field, text);
    Log(std::string(kNames[static_cast<size_t>(field)]) + "=" + text);
  }
  void ShowError(const std::string& message, const std::string& detail = {}) override {
    RecordingView::ShowError(message, detail);
    Log("error:" + message);
  }
  void SetVersionControlsVisible(bool visible) override {
    RecordingView::SetVersionControlsVisible(visible);
    Log(visible ? "versions:shown" : "versions:hidden");
  }
  void SetDeviceCaption(const std::string& text) override {
    RecordingView::SetDeviceCaption(text);
    Log("caption:" + text);
  }
  void SetRefreshEnabled(bool enabled) override {
    RecordingView::SetRefreshEnabled(enabled);
    Log(enabled ? "button:on" : "button:off");
  }
  void ProcessMessages() override {
    RecordingView::ProcessMessages();
    // The addresses every driver holds when the window repaints.
    Log("messages addr=" + DriverAddresses(read_));
  }

  // "event|open" or "event|closed".
  std::vector<std::string> events;

 private:
  static constexpr const char* kNames[kReadFieldCount] = {
      "ELicNo", "Ek00", "Ek10", "Ek01", "Ek11", "EVer", "ECRC", "EClbLic", "EClbDate"};
  void Log(const std::string& what) {
    events.push_back(what + (PortOpen(read_) ? "|open" : "|closed"));
  }
  const TMeterRead& read_;
};

// A meter of the model at the address, replies unpaced (virtual time makes
// pacing free, but unpaced replies keep the logs short to reason about).
inline std::shared_ptr<VirtualMeter> MakeMeter(MeterModel model, uint8_t address = 0) {
  metersim::MeterOptions options;
  options.pacing = false;
  return std::make_shared<VirtualMeter>(model, address, options);
}

// What the window hands the read: the tests' device, 9600 baud, the address.
inline PortSpec PortFor(uint8_t address = 0) {
  return {kDevice, kPortName, 9600, address, false};
}

// A read on virtual time against a meter behind the tests' device. The line
// counts its open devices, so that a test sees whether anything left the
// port open.
class ReadBench {
 public:
  explicit ReadBench(std::shared_ptr<VirtualMeter> meter) { Use(std::move(meter)); }
  ReadBench(const ReadBench&) = delete;
  ReadBench& operator=(const ReadBench&) = delete;

  // Puts another meter on the line (the same window reads it next).
  void Use(std::shared_ptr<VirtualMeter> meter) {
    meter_ = std::move(meter);
    port.device = kDevice;
    device_.Use([meter = meter_, open = open_](uint32_t baud) -> std::unique_ptr<SerialDevice> {
      auto inner = metersim::MeterDeviceFactory(meter)(baud);
      if (!inner) return nullptr;
      return std::make_unique<CountedDevice>(std::move(inner), open);
    });
  }
  VirtualMeter& Meter() { return *meter_; }
  // Devices of the line open now.
  int OpenDevices() const { return *open_; }

  MeterReading Run(RecordingView& view, uint8_t address = 0) {
    return read.BRefreshClick(view, PortAt(address));
  }
  MeterReading Run(uint8_t address = 0) { return Run(view, address); }
  // What Run hands the read for this address.
  PortSpec PortAt(uint8_t address) const {
    PortSpec s = port;
    s.address = address;
    return s;
  }

  ScopedVirtualTime time;
  TMeterRead read;
  RecordingView view;
  // The device, name and speed every Run reads through (Use resets the
  // device to the meter's).
  PortSpec port = PortFor();

 private:
  std::shared_ptr<std::atomic<int>> open_ = std::make_shared<std::atomic<int>>(0);
  ScopedSerialDevice device_{kDevice, {}};
  std::shared_ptr<VirtualMeter> meter_;
};

// Requests of the kind the meter heard (for it), optionally at a start.
inline std::vector<RequestRecord> Heard(const VirtualMeter& meter, RequestKind kind) {
  std::vector<RequestRecord> out;
  for (const auto& r : meter.Requests())
    if (r.kind == kind && r.forMe) out.push_back(r);
  return out;
}
inline size_t HeardAt(const VirtualMeter& meter, RequestKind kind, uint32_t start,
                      int address = -1) {
  size_t n = 0;
  for (const auto& r : Heard(meter, kind))
    if (r.start == start && (address < 0 || r.address == address)) ++n;
  return n;
}

// Memory as the models keep it.
inline std::vector<uint8_t> BigEndian(float f) {
  const auto v = std::bit_cast<uint32_t>(f);
  return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}
inline std::vector<uint8_t> LittleEndian(float f) {
  auto b = BigEndian(f);
  return {b[3], b[2], b[1], b[0]};
}
inline void PutBE(VirtualMeter& m, uint32_t address, float f, size_t node = 0) {
  m.Write(MemoryArea::Rtc2k, address, BigEndian(f), node);
}
inline void PutLE(VirtualMeter& m, uint32_t address, float f, size_t node = 0) {
  m.Write(MemoryArea::Rtc2k, address, LittleEndian(f), node);
}
inline void PutRegFloat(VirtualMeter& m, uint16_t reg, float f) {
  const auto v = std::bit_cast<uint32_t>(f);
  m.SetRegister(reg, static_cast<uint16_t>(v >> 16));
  m.SetRegister(static_cast<uint16_t>(reg + 1), static_cast<uint16_t>(v));
}

// A calibration record: seal, two zero bytes, BCD date and time.
inline std::vector<uint8_t> Record(const std::string& seal, std::vector<uint8_t> when) {
  std::vector<uint8_t> r(seal.begin(), seal.end());
  r.resize(10, 0);
  r.insert(r.end(), when.begin(), when.end());
  r.resize(16, 0);
  return r;
}

}  // namespace readtest
