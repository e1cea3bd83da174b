// The bytes on their way from a meter to the master, with the times they
// arrive. Both transports keep one, so that a reply is timed the same on a
// pseudo-terminal and in process; the caller supplies the clock (times in
// microseconds on any monotonic scale).
#pragma once

#include <cstdint>
#include <deque>
#include <limits>
#include <optional>

#include "sim/ReplyPlan.h"

namespace metersim {

class ReplyQueue {
 public:
  static constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();

  // The master has sent `count` bytes at nowUs. They take byteTimeUs each to
  // cross the line (0: no time); returns when the last one has reached the
  // meter, which is where the reply's turnaround starts. Ends a garbage
  // stream: a meter babbling on stops when the master talks.
  uint64_t RequestArrived(size_t count, uint64_t nowUs, uint32_t byteTimeUs);
  // Queues a reply that starts its turnaround at baseUs. Bytes never
  // overtake bytes already queued.
  void Schedule(const ReplyPlan& plan, uint64_t baseUs);

  // Takes the next byte that has arrived by nowUs.
  bool Pop(uint64_t nowUs, uint8_t& byte);
  // When the next byte arrives; kNever when none is coming.
  uint64_t NextByteUs() const;
  // When the next thing happens: a byte arrives or the line closes.
  uint64_t NextEventUs() const;
  // Discards what has arrived by nowUs (a purge); bytes still on the way stay.
  void DropArrived(uint64_t nowUs);
  // True once a hang-up has closed the line: its time has come and every
  // byte before it has been taken.
  bool HungUp(uint64_t nowUs) const;
  // When a hang-up closes the line; kNever when none is due.
  uint64_t CloseAtUs() const { return closeAtUs_; }
  // Forgets everything, the hang-up included (a new line).
  void Clear();

 private:
  struct Byte {
    uint64_t dueUs;
    uint8_t value;
  };
  bool GarbageDue(uint64_t nowUs) const;

  std::deque<Byte> bytes_;
  uint64_t lineFreeUs_ = 0;
  uint64_t closeAtUs_ = kNever;
  bool garbage_ = false;
  uint64_t garbageNextUs_ = 0;
  uint64_t garbageStepUs_ = 1;
  uint64_t garbageIndex_ = 0;
};

}  // namespace metersim
