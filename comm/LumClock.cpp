#include "LumClock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

class RealTime final : public TimeHook {
 public:
  uint64_t NowMs() override {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  }
  void SleepMs(uint32_t ms) override {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
};

RealTime realTime;
std::atomic<TimeHook*> hook{&realTime};

}  // namespace

void SetTimeHook(TimeHook* newHook) {
  hook.store(newHook ? newHook : &realTime);
}
TimeHook& CurrentTimeHook() {
  return *hook.load();
}
uint64_t NowMs() {
  return CurrentTimeHook().NowMs();
}
void SleepMs(uint32_t ms) {
  CurrentTimeHook().SleepMs(ms);
}
