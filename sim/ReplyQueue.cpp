#include "sim/ReplyQueue.h"

#include <algorithm>

namespace metersim {

uint64_t ReplyQueue::RequestArrived(size_t count, uint64_t nowUs, uint32_t byteTimeUs) {
  garbage_ = false;
  lineFreeUs_ = std::max(lineFreeUs_, nowUs) + uint64_t{byteTimeUs} * count;
  return lineFreeUs_;
}

void ReplyQueue::Schedule(const ReplyPlan& plan, uint64_t baseUs) {
  uint64_t last = bytes_.empty() ? 0 : bytes_.back().dueUs;
  for (size_t i = 0; i < plan.bytes.size(); ++i) {
    last = std::max(baseUs + plan.ByteDueUs(i), last);
    bytes_.push_back({last, plan.bytes[i]});
  }
  const uint64_t end = std::max(baseUs + plan.GarbageStartUs(), last);
  if (plan.hangUp) closeAtUs_ = std::min(closeAtUs_, end);
  if (plan.garbage) {
    garbage_ = true;
    garbageStepUs_ = std::max<uint64_t>(1, plan.lineByteTimeUs);
    garbageNextUs_ = end + garbageStepUs_;
    garbageIndex_ = 0;
  }
}

bool ReplyQueue::GarbageDue(uint64_t nowUs) const {
  return garbage_ && garbageNextUs_ <= nowUs && garbageNextUs_ <= closeAtUs_;
}

bool ReplyQueue::Pop(uint64_t nowUs, uint8_t& byte) {
  const bool queued = !bytes_.empty() && bytes_.front().dueUs <= nowUs;
  if (queued && (!GarbageDue(nowUs) || bytes_.front().dueUs <= garbageNextUs_)) {
    byte = bytes_.front().value;
    bytes_.pop_front();
    return true;
  }
  if (GarbageDue(nowUs)) {
    byte = GarbageByte(garbageIndex_++);
    garbageNextUs_ += garbageStepUs_;
    return true;
  }
  return false;
}

uint64_t ReplyQueue::NextByteUs() const {
  uint64_t next = bytes_.empty() ? kNever : bytes_.front().dueUs;
  if (garbage_ && garbageNextUs_ <= closeAtUs_) next = std::min(next, garbageNextUs_);
  return next;
}

uint64_t ReplyQueue::NextEventUs() const {
  return std::min(NextByteUs(), closeAtUs_);
}

void ReplyQueue::DropArrived(uint64_t nowUs) {
  while (!bytes_.empty() && bytes_.front().dueUs <= nowUs)
    bytes_.pop_front();
  if (garbage_ && garbageNextUs_ <= nowUs) {
    const uint64_t skipped = (nowUs - garbageNextUs_) / garbageStepUs_ + 1;
    garbageIndex_ += skipped;
    garbageNextUs_ += skipped * garbageStepUs_;
  }
}

bool ReplyQueue::HungUp(uint64_t nowUs) const {
  return closeAtUs_ <= nowUs && (bytes_.empty() || bytes_.front().dueUs > closeAtUs_);
}

void ReplyQueue::Clear() {
  *this = ReplyQueue();
}

}  // namespace metersim
