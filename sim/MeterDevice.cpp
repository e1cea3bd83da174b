#include "sim/MeterDevice.h"

#include "comm/LumClock.h"

namespace metersim {

namespace {

uint64_t NowUs() {
  return lum::NowMs() * 1000;
}

}  // namespace

MeterDevice::MeterDevice(std::shared_ptr<VirtualMeter> meter)
    : MeterDevice(MeterBus(std::move(meter))) {}

MeterDevice::MeterDevice(MeterBus bus) : bus_(std::move(bus)) {}

void MeterDevice::Purge() {
  std::lock_guard lock(mutex_);
  queue_.DropArrived(NowUs());
}

bool MeterDevice::Write(std::span<const uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  const uint64_t now = NowUs();
  if (queue_.HungUp(now)) return false;
  const MeterOptions options = bus_.Options();
  const uint32_t byteTime = options.pacing ? ByteTimeUs(options.baud) : 0;
  const uint64_t arrived = queue_.RequestArrived(bytes.size(), now, byteTime);
  for (const ReplyPlan& plan : bus_.Receive(bytes))
    queue_.Schedule(plan, arrived);
  return true;
}

bool MeterDevice::ReadByte(uint8_t& byte) {
  std::lock_guard lock(mutex_);
  return queue_.Pop(NowUs(), byte);
}

bool MeterDevice::WaitForInput(uint32_t timeoutMs) {
  uint64_t waitMs = timeoutMs;
  bool comes = false;
  {
    std::lock_guard lock(mutex_);
    const uint64_t now = NowUs();
    const uint64_t next = queue_.NextByteUs();
    if (next <= now) return true;
    if (next != ReplyQueue::kNever && next - now <= uint64_t{timeoutMs} * 1000) {
      waitMs = (next - now + 999) / 1000;
      comes = true;
    }
  }
  lum::SleepMs(static_cast<uint32_t>(waitMs));
  return comes;
}

bool MeterDevice::LineClosed() const {
  std::lock_guard lock(mutex_);
  return queue_.HungUp(NowUs());
}

SerialDeviceFactory MeterDeviceFactory(std::shared_ptr<VirtualMeter> meter) {
  return MeterDeviceFactory(MeterBus(std::move(meter)));
}

SerialDeviceFactory MeterDeviceFactory(MeterBus bus) {
  return [bus](uint32_t) -> std::unique_ptr<SerialDevice> {
    return std::make_unique<MeterDevice>(bus);
  };
}

void BindMeterToPort(uint8_t port, std::shared_ptr<VirtualMeter> meter) {
  lum::BindSerialPortDevice(port, MeterDeviceFactory(std::move(meter)));
}

}  // namespace metersim
