// The one place where the communication code asks what time it is and waits.
//
// Everything that times a reply (the waits for reply bytes and their time-outs,
// the pauses between attempts, the receive thread's waits) goes through this hook,
// so tests can swap in a virtual clock and run a 1.5 s retry sequence in
// microseconds while integration tests keep the real clock.
#pragma once

#include <cstdint>
#include <functional>

class TimeHook {
 public:
  virtual ~TimeHook() = default;
  // Monotonic milliseconds; the origin is arbitrary.
  virtual uint64_t NowMs() = 0;
  // The same clock in microseconds, for waits that must not end a fraction of
  // a millisecond early; a clock that counts whole milliseconds keeps this.
  virtual uint64_t NowUs() { return NowMs() * 1000; }
  // Suspends the calling thread for ms milliseconds (0 returns at once).
  virtual void SleepMs(uint32_t ms) = 0;
};

// The free functions of the communication code live in namespace lum.
namespace lum {

// Installs a hook for the whole process; nullptr puts the real clock back.
// The caller keeps ownership and must outlive every use.
void SetTimeHook(TimeHook* hook);
TimeHook& CurrentTimeHook();

uint64_t NowMs();
uint64_t NowUs();
void SleepMs(uint32_t ms);

}  // namespace lum

// A point in time after which a wait has run out. Computing "how long may I
// still wait" from one deadline keeps the limits exact however often a loop
// wakes up.
class Deadline {
 public:
  explicit Deadline(uint32_t ms) : end_(lum::NowMs() + ms) {}
  bool Expired() const { return lum::NowMs() >= end_; }
  uint32_t RemainingMs() const {
    const uint64_t now = lum::NowMs();
    return now >= end_ ? 0 : static_cast<uint32_t>(end_ - now);
  }

 private:
  uint64_t end_;
};

// The computer's local calendar time, as the meters keep it in their clocks and
// calibration records. Read through a replaceable source so that tests can fix
// the date.
struct LumDateTime {
  uint16_t Year = 2000;   // full year, e.g. 2019
  uint8_t Month = 1;      // 1..12
  uint8_t Day = 1;        // 1..31
  uint8_t DayOfWeek = 6;  // 0 = Sunday .. 6 = Saturday
  uint8_t Hour = 0;       // 0..23
  uint8_t Minute = 0;     // 0..59
  uint8_t Second = 0;     // 0..59 (a leap second shows as 60)
};

using LocalDateTimeSource = std::function<LumDateTime()>;

// Installs a source of local time for the whole process; an empty function
// puts the system's local clock back.
namespace lum {
void SetLocalDateTimeSource(LocalDateTimeSource source);
LumDateTime LocalDateTime();
}  // namespace lum
