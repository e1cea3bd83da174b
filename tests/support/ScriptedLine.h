// A scripted serial line on virtual time: the test schedules the bytes a meter
// would send and reacts to what the engine writes. Plugs in behind the serial
// layer by binding a port number to its factory, or by registering the
// factory under a device name (ScopedSerialDevice).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "VirtualTime.h"
#include "comm/serial/SerialDevice.h"

class ScriptedLine : public std::enable_shared_from_this<ScriptedLine> {
 public:
  // Called after every write with all bytes written since the last purge
  // (the engines purge before each request, so this is the request so far).
  using Responder = std::function<void(ScriptedLine&, std::span<const uint8_t> request)>;

  static std::shared_ptr<ScriptedLine> Create(VirtualClock& clock) {
    return std::shared_ptr<ScriptedLine>(new ScriptedLine(clock));
  }

  // Binds port number `port` to this line for the test's duration.
  void Bind(uint8_t port);
  SerialDeviceFactory Factory();

  // Schedules bytes to arrive: the first delayMs after now, each further one
  // gapMs after the one before it.
  void Feed(std::span<const uint8_t> bytes, uint32_t delayMs = 0, uint32_t gapMs = 0);
  void Feed(std::initializer_list<uint8_t> bytes, uint32_t delayMs = 0, uint32_t gapMs = 0) {
    Feed(std::span<const uint8_t>(bytes.begin(), bytes.size()), delayMs, gapMs);
  }
  void SetResponder(Responder responder);
  void SetWriteFails(bool fails);
  void SetOpenFails(bool fails);

  // Every Write call's bytes, in order, and all of them joined.
  std::vector<std::vector<uint8_t>> Writes() const;
  std::vector<uint8_t> Written() const;
  void ClearWrites();
  size_t PendingInput() const;
  int Opens() const;
  int Purges() const;

  VirtualClock& Clock() { return clock_; }

  // Device side, used by the device objects the factory makes.
  bool DeviceWrite(std::span<const uint8_t> bytes);
  bool DeviceReadByte(uint8_t& byte);
  bool DeviceWaitForInput(uint32_t timeoutMs);
  void DevicePurge();

 private:
  explicit ScriptedLine(VirtualClock& clock) : clock_(clock) {}

  VirtualClock& clock_;
  mutable std::recursive_mutex mutex_;
  std::deque<std::pair<uint64_t, uint8_t>> input_;  // arrival time, byte
  std::vector<std::vector<uint8_t>> writes_;
  std::vector<uint8_t> sincePurge_;
  Responder responder_;
  bool writeFails_ = false;
  bool openFails_ = false;
  int opens_ = 0;
  int purges_ = 0;
  uint8_t boundPort_ = 0;
};

// Unbinds the port when the test ends.
struct ScopedPortBinding {
  explicit ScopedPortBinding(uint8_t p) : port(p) {}
  ~ScopedPortBinding() { lum::UnbindSerialPort(port); }
  uint8_t port;
};

// A virtual device under a name for the test's duration: a read whose port
// device is the name opens the factory.
struct ScopedSerialDevice {
  ScopedSerialDevice(std::string n, SerialDeviceFactory factory) : name(std::move(n)) {
    lum::RegisterSerialDevice(name, std::move(factory));
  }
  ~ScopedSerialDevice() { lum::UnregisterSerialDevice(name); }
  ScopedSerialDevice(const ScopedSerialDevice&) = delete;
  ScopedSerialDevice& operator=(const ScopedSerialDevice&) = delete;
  // Puts another device under the same name.
  void Use(SerialDeviceFactory factory) { lum::RegisterSerialDevice(name, std::move(factory)); }
  std::string name;
};

// A device that counts how many of its kind are open, so that a test sees
// whether anything left the port open: none is when the count is 0.
class CountedDevice final : public SerialDevice {
 public:
  CountedDevice(std::unique_ptr<SerialDevice> inner, std::shared_ptr<std::atomic<int>> open)
      : inner_(std::move(inner)), open_(std::move(open)) {
    ++*open_;
  }
  ~CountedDevice() override { --*open_; }
  void Purge() override { inner_->Purge(); }
  bool Write(std::span<const uint8_t> bytes) override { return inner_->Write(bytes); }
  bool ReadByte(uint8_t& byte) override { return inner_->ReadByte(byte); }
  bool WaitForInput(uint32_t timeoutMs) override { return inner_->WaitForInput(timeoutMs); }

 private:
  std::unique_ptr<SerialDevice> inner_;
  std::shared_ptr<std::atomic<int>> open_;
};
