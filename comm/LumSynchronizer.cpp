#include "LumSynchronizer.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

struct PendingCall {
  std::function<void()> call;
  bool done = false;
};

std::mutex mutex;
std::condition_variable queued;
std::condition_variable finished;
std::deque<PendingCall*> pending;
std::function<void()> wakeupHook;

}  // namespace

void Synchronize(std::function<void()> call) {
  PendingCall item{std::move(call)};
  std::function<void()> wakeup;
  {
    std::lock_guard lock(mutex);
    pending.push_back(&item);
    wakeup = wakeupHook;
  }
  queued.notify_all();
  if (wakeup) wakeup();
  std::unique_lock lock(mutex);
  finished.wait(lock, [&] { return item.done; });
}

bool CheckSynchronize(uint32_t timeoutMs) {
  std::deque<PendingCall*> batch;
  {
    std::unique_lock lock(mutex);
    if (pending.empty() && timeoutMs > 0)
      queued.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return !pending.empty(); });
    batch.swap(pending);
  }
  for (PendingCall* item : batch) {
    try {
      item->call();
    } catch (...) {
      // A handler's failure must not leave its worker waiting for ever.
    }
    std::lock_guard lock(mutex);
    item->done = true;
    finished.notify_all();
  }
  return !batch.empty();
}

void SetSynchronizeWakeup(std::function<void()> wakeup) {
  std::lock_guard lock(mutex);
  wakeupHook = std::move(wakeup);
}
