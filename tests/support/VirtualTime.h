// Virtual time for timing tests: pauses advance a counter instead of sleeping,
// so a 1.5 s retry sequence runs in microseconds and its length is exact.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "comm/LumClock.h"

class VirtualClock final : public TimeHook {
 public:
  uint64_t NowMs() override { return now_.load(); }
  void SleepMs(uint32_t ms) override {
    {
      std::lock_guard lock(mutex_);
      sleeps_.push_back(ms);
    }
    now_ += ms;
  }
  void Advance(uint64_t ms) { now_ += ms; }
  // Moves the clock forward to t; never backwards.
  void AdvanceTo(uint64_t t) {
    uint64_t cur = now_.load();
    while (cur < t && !now_.compare_exchange_weak(cur, t)) {
    }
  }
  // Every SleepMs duration since the last ClearSleeps, in order.
  std::vector<uint32_t> Sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }
  void ClearSleeps() {
    std::lock_guard lock(mutex_);
    sleeps_.clear();
  }

 private:
  std::atomic<uint64_t> now_{1000000};
  mutable std::mutex mutex_;
  std::vector<uint32_t> sleeps_;
};

// Installs a virtual clock for the lifetime of the object.
class ScopedVirtualTime {
 public:
  ScopedVirtualTime() { lum::SetTimeHook(&clock); }
  ~ScopedVirtualTime() { lum::SetTimeHook(nullptr); }
  ScopedVirtualTime(const ScopedVirtualTime&) = delete;
  ScopedVirtualTime& operator=(const ScopedVirtualTime&) = delete;
  VirtualClock clock;
};
