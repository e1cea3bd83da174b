#include "LumComPortRcvThread.h"

#include "LumClock.h"
#include "LumSynchronizer.h"

TlumComPortRcvThread::TlumComPortRcvThread(std::shared_ptr<SerialDevice> device, uint32_t interval,
                                           uint32_t byteTimeout, TOnReceiveByteEvent onByte,
                                           TOnReceiveTimeout onTimeout, TlumCustomComPort* sender)
    : device_(std::move(device)),
      interval_(interval),
      byteTimeout_(byteTimeout),
      onByte_(std::move(onByte)),
      onTimeout_(std::move(onTimeout)),
      sender_(sender),
      thread_([this] { Run(); }) {}

TlumComPortRcvThread::~TlumComPortRcvThread() {
  stop_ = true;
  // The thread may be blocked handing an event to us: keep running them.
  while (!ended_)
    CheckSynchronize(5);
  thread_.join();
}

void TlumComPortRcvThread::Run() {
  uint32_t tick = 0;
  while (!stop_) {
    if (!ReadBurst(tick)) break;
    if (onTimeout_) Synchronize([&] { onTimeout_(sender_, tick); });
    ++tick;
    lum::SleepMs(interval_);
  }
  ended_ = true;
}

bool TlumComPortRcvThread::ReadBurst(uint32_t tick) {
  int failedReads = 0;
  while (failedReads < 2) {
    uint8_t byte = 0;
    if (device_->ReadByte(byte)) {
      if (onByte_) Synchronize([&] { onByte_(sender_, byte, tick); });
      failedReads = 0;
      // A line that never falls silent must not keep a closing port waiting
      // for ever, so a stop is also honoured between the bytes of a burst.
      if (stop_) return false;
      continue;
    }
    lum::SleepMs(byteTimeout_);
    ++failedReads;
  }
  return true;
}
