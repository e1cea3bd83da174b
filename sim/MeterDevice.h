// A virtual meter behind the serial layer's device interface, in process: no
// pseudo-terminal, so it serves where none exists (the demo mode on Windows)
// and on virtual time (it asks comm/LumClock.h for the time and sleeps
// through it, so turnaround, pacing and injected delays follow whatever
// clock is installed).
//
// Typical use: BindMeterToPort(3, meter); then port 3 opens the meter.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

#include "comm/serial/SerialDevice.h"
#include "sim/MeterBus.h"
#include "sim/ReplyQueue.h"
#include "sim/VirtualMeter.h"

namespace metersim {

class MeterDevice final : public SerialDevice {
 public:
  explicit MeterDevice(std::shared_ptr<VirtualMeter> meter);
  // Several meters on the one line.
  explicit MeterDevice(MeterBus bus);

  void Purge() override;
  // Hands the bytes to the meter and queues its replies. False once a
  // hang-up fault has closed the line (a newly opened device works again).
  bool Write(std::span<const uint8_t> bytes) override;
  bool ReadByte(uint8_t& byte) override;
  bool WaitForInput(uint32_t timeoutMs) override;

  // True once a hang-up fault has closed this device's line.
  bool LineClosed() const;

 private:
  MeterBus bus_;
  mutable std::mutex mutex_;
  ReplyQueue queue_;
};

// A factory that opens a new MeterDevice on the meter for each open; the
// baud rate asked for is not checked against the meter's.
SerialDeviceFactory MeterDeviceFactory(std::shared_ptr<VirtualMeter> meter);
SerialDeviceFactory MeterDeviceFactory(MeterBus bus);
// Binds port number `port` to the meter for the rest of the run (or until
// UnbindSerialPort).
void BindMeterToPort(uint8_t port, std::shared_ptr<VirtualMeter> meter);

}  // namespace metersim
