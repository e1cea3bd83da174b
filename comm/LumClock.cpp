#include "LumClock.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>

namespace {

class RealTime final : public TimeHook {
 public:
  uint64_t NowMs() override {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  }
  uint64_t NowUs() override {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
  }
  void SleepMs(uint32_t ms) override {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
};

RealTime realTime;
std::atomic<TimeHook*> hook{&realTime};

std::mutex dateTimeMutex;  // guards the source, and localtime's static result
LocalDateTimeSource dateTimeSource;

LumDateTime SystemLocalDateTime() {
  const std::time_t now = std::time(nullptr);
  const std::tm* t = std::localtime(&now);
  if (!t) return {};
  LumDateTime dt;
  dt.Year = static_cast<uint16_t>(t->tm_year + 1900);
  dt.Month = static_cast<uint8_t>(t->tm_mon + 1);
  dt.Day = static_cast<uint8_t>(t->tm_mday);
  dt.DayOfWeek = static_cast<uint8_t>(t->tm_wday);
  dt.Hour = static_cast<uint8_t>(t->tm_hour);
  dt.Minute = static_cast<uint8_t>(t->tm_min);
  dt.Second = static_cast<uint8_t>(t->tm_sec);
  return dt;
}

}  // namespace

namespace lum {

void SetTimeHook(TimeHook* newHook) {
  hook.store(newHook ? newHook : &realTime);
}
TimeHook& CurrentTimeHook() {
  return *hook.load();
}
uint64_t NowMs() {
  return CurrentTimeHook().NowMs();
}
uint64_t NowUs() {
  return CurrentTimeHook().NowUs();
}
void SleepMs(uint32_t ms) {
  CurrentTimeHook().SleepMs(ms);
}

void SetLocalDateTimeSource(LocalDateTimeSource source) {
  std::lock_guard lock(dateTimeMutex);
  dateTimeSource = std::move(source);
}

LumDateTime LocalDateTime() {
  LocalDateTimeSource source;
  {
    std::lock_guard lock(dateTimeMutex);
    if (!dateTimeSource) return SystemLocalDateTime();
    source = dateTimeSource;
  }
  return source();  // called unlocked: a source may itself ask the time
}

}  // namespace lum
