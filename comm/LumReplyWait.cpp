#include "LumReplyWait.h"

#include <algorithm>

#include "LumClock.h"

namespace {

constexpr uint64_t kLookUs = uint64_t{TlumReplyWait::kLookMs} * 1000;

// The whole milliseconds that cover `us`: a wait that long never ends early.
uint32_t CoveringMs(uint64_t us) {
  return static_cast<uint32_t>((us + 999) / 1000);
}

}  // namespace

void TlumReplyWait::Start() {
  lastLookUs_ = lum::NowUs();
}

bool TlumReplyWait::Next(TlumComPort& port, uint8_t& byte, uint32_t limitMs) {
  const uint64_t finalLook = lastLookUs_ + uint64_t{limitMs / kLookMs} * kLookUs;
  bool woken = false;
  for (;;) {
    if (port.ReadByte(byte)) {
      // However late we read it, the byte was there by the final look.
      TakenAt(std::min(lum::NowUs(), finalLook));
      return true;
    }
    const uint64_t now = lum::NowUs();
    if (now >= finalLook) break;
    // A device that reports input and then hands none over must not make
    // this loop spin until the limit.
    if (woken) lum::SleepMs(1);
    woken = port.WaitForInput(CoveringMs(finalLook - now));
  }
  // Nothing by the final look: the looks would have ended one spacing later.
  const uint64_t giveUp = finalLook + kLookUs;
  const uint64_t now = lum::NowUs();
  if (now < giveUp) lum::SleepMs(CoveringMs(giveUp - now));
  return false;
}

void TlumReplyWait::TakenAt(uint64_t nowUs) {
  if (nowUs <= lastLookUs_) return;
  lastLookUs_ += (nowUs - lastLookUs_ + kLookUs - 1) / kLookUs * kLookUs;
}
