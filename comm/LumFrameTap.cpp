#include "LumFrameTap.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "LumUtils.h"

namespace {

std::mutex& Guard() {
  static std::mutex guard;
  return guard;
}
std::vector<TlumFrameObserver*>& Observers() {
  static std::vector<TlumFrameObserver*> observers;
  return observers;
}
std::atomic<size_t> observed{0};

}  // namespace

namespace lum {

uint64_t WallUs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<microseconds>(system_clock::now().time_since_epoch()).count());
}

void AddFrameObserver(TlumFrameObserver* observer) {
  const std::lock_guard lock(Guard());
  Observers().push_back(observer);
  observed = Observers().size();
}

void RemoveFrameObserver(TlumFrameObserver* observer) {
  const std::lock_guard lock(Guard());
  auto& list = Observers();
  list.erase(std::remove(list.begin(), list.end(), observer), list.end());
  observed = list.size();
}

bool FramesObserved() {
  return observed > 0;
}

void NoteFrame(FrameProtocol protocol, FrameDirection direction, FrameStatus status,
               std::span<const uint8_t> bytes) {
  if (!FramesObserved()) return;
  const LineFrame frame{protocol, direction, status, WallUs(), bytes};
  const std::lock_guard lock(Guard());
  for (TlumFrameObserver* o : Observers())
    o->OnFrame(frame);
}

}  // namespace lum

void FrameHeard::Start() {
  on_ = lum::FramesObserved();
  length_ = 0;
}

void FrameHeard::Add(uint8_t byte) {
  // A reception that runs past the buffer is noise already reported in
  // pieces; the next piece starts afresh.
  if (!on_) return;
  if (length_ == sizeof bytes_) Failed(FrameStatus::NoFrame);
  bytes_[length_++] = byte;
}

void FrameHeard::Ended(uint32_t code, size_t frameLength) {
  if (code == lumOk || code == lumErrChecksum)
    Frame(frameLength, code == lumOk);
  else
    Failed(FrameStatus::NoFrame);
}

void FrameHeard::Frame(size_t frameLength, bool goodCheck) {
  if (!on_) return;
  const auto heard = std::span<const uint8_t>(bytes_, length_);
  const size_t frame = std::min(frameLength, length_);
  if (frame < length_)
    lum::NoteFrame(protocol_, FrameDirection::Inbound, FrameStatus::NoFrame,
                   heard.first(length_ - frame));
  lum::NoteFrame(protocol_, FrameDirection::Inbound,
                 goodCheck ? FrameStatus::Good : FrameStatus::BadCheck, heard.last(frame));
  length_ = 0;
}

void FrameHeard::Failed(FrameStatus status) {
  if (!on_) return;
  // Silence with nothing heard still counts as a time-out for a view.
  if (length_ > 0 || status == FrameStatus::TimedOut)
    lum::NoteFrame(protocol_, FrameDirection::Inbound, status,
                   std::span<const uint8_t>(bytes_, length_));
  length_ = 0;
}
