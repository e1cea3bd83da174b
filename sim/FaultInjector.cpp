#include "sim/FaultInjector.h"

#include <algorithm>

#include "sim/SimCodec.h"

namespace metersim {

namespace {

bool Matches(const Fault& f, const RequestRecord& r) {
  if (f.address && *f.address != r.address) return false;
  if (f.request && *f.request != r.kind) return false;
  if (f.start && *f.start != r.start) return false;
  if (HitsWritesOnly(f.kind) && !r.writes) return false;
  return true;
}

// Bytes before a reply: the value asked for, or a mix of idle-line and
// noise patterns (never 0xAA, so that by default they are plain junk).
std::vector<uint8_t> StrayBytes(uint32_t count, int value) {
  static constexpr uint8_t kMix[] = {0x00, 0xFF, 0x3C, 0x0F, 0xF0};
  std::vector<uint8_t> bytes;
  for (uint32_t i = 0; i < count; ++i)
    bytes.push_back(value >= 0 ? static_cast<uint8_t>(value) : kMix[i % std::size(kMix)]);
  return bytes;
}

void AnnounceLength(Protocol protocol, uint8_t function, uint8_t length,
                    std::vector<uint8_t>& bytes) {
  if (protocol == Protocol::ThreeX) {
    if (bytes.size() < 7) return;
    bytes[5] = length;
    Reseal3x(bytes);
    return;
  }
  // Function 3 carries its byte count in byte 2, report slave ID its text
  // length in byte 3; the other replies have no length to inflate.
  if (function == 3 && bytes.size() >= 5 && !(bytes[1] & 0x80)) {
    bytes[2] = length;
  } else if (function == 17 && bytes.size() >= 6 && !(bytes[1] & 0x80)) {
    bytes[3] = length;
  } else {
    return;
  }
  ResealModBus(bytes);
}

// A read answered with fewer data bytes than it asked for: the length byte
// (3x) or the byte count (ModBus function 3) and the check follow, so the
// frame stays well formed.
void Shorten(const RequestRecord& request, uint32_t fewer, std::vector<uint8_t>& bytes) {
  if (request.writes || request.length == 0) return;
  if (request.protocol == Protocol::ThreeX) {
    if (bytes.size() < 7 || bytes.size() != bytes[5] + 7u) return;
    const uint8_t kept = static_cast<uint8_t>(bytes[5] - std::min<uint32_t>(fewer, bytes[5]));
    bytes.erase(bytes.begin() + 6 + kept, bytes.end() - 1);
    bytes[5] = kept;
    Reseal3x(bytes);
    return;
  }
  // Registers are whole: two bytes each.
  if (bytes.size() < 5 || bytes[1] != 3 || bytes.size() != bytes[2] + 5u) return;
  const uint32_t drop = std::min<uint32_t>((fewer + 1) / 2 * 2, bytes[2]);
  const uint8_t kept = static_cast<uint8_t>(bytes[2] - drop);
  bytes.erase(bytes.begin() + 3 + kept, bytes.end() - 2);
  bytes[2] = kept;
  ResealModBus(bytes);
}

}  // namespace

void FaultInjector::Add(const Fault& fault) {
  entries_.push_back({fault});
}

void FaultInjector::Clear() {
  entries_.clear();
}

std::vector<Fault> FaultInjector::Pending() const {
  std::vector<Fault> faults;
  for (const Entry& e : entries_)
    faults.push_back(e.fault);
  return faults;
}

std::vector<Fault> FaultInjector::Take(const RequestRecord& request) {
  std::vector<Fault> hits;
  for (Entry& e : entries_) {
    if (!Matches(e.fault, request)) continue;
    if (e.seen++ < e.fault.skip) continue;
    if (e.fault.every > 1 && (e.seen - 1 - e.fault.skip) % e.fault.every != 0) continue;
    ++e.hit;
    hits.push_back(e.fault);
  }
  std::erase_if(entries_,
                [](const Entry& e) { return e.fault.times > 0 && e.hit >= e.fault.times; });
  return hits;
}

void ApplyFault(const Fault& fault, const RequestRecord& request, ReplyPlan& plan) {
  const Protocol protocol = request.protocol;
  auto& bytes = plan.bytes;
  switch (fault.kind) {
    case FaultKind::Silence:
      bytes.clear();
      plan.garbage = false;
      plan.hangUp = false;
      break;
    case FaultKind::Stray: {
      const auto stray = StrayBytes(fault.count, fault.value);
      bytes.insert(bytes.begin(), stray.begin(), stray.end());
      break;
    }
    case FaultKind::BadChecksum:
      if (!bytes.empty()) bytes.back() ^= 0x01;
      break;
    case FaultKind::BadComplement:
      if (protocol == Protocol::ThreeX && bytes.size() >= 7) {
        bytes[2] ^= 0x01;
        Reseal3x(bytes);
      }
      break;
    case FaultKind::Gap:
      plan.gapBefore = fault.count;
      plan.gapMs = fault.ms;
      break;
    case FaultKind::Cut:
      if (bytes.size() > fault.count) bytes.resize(fault.count);
      break;
    case FaultKind::LongLength:
      AnnounceLength(protocol, request.function,
                     static_cast<uint8_t>(fault.value < 0 ? 255 : fault.value), bytes);
      break;
    case FaultKind::Garbage:
      bytes.clear();
      plan.garbage = true;
      break;
    case FaultKind::Exception:
      if (protocol == Protocol::ModBus)
        bytes = ModBusException(request.address, request.function,
                                static_cast<uint8_t>(fault.value < 0 ? 2 : fault.value));
      break;
    case FaultKind::Delay:
      plan.delayMs += fault.ms;
      break;
    case FaultKind::HangUp:
      if (bytes.size() > fault.count) bytes.resize(fault.count);
      plan.hangUp = true;
      break;
    case FaultKind::ShortReply:
      Shorten(request, fault.count, bytes);
      break;
    case FaultKind::NotStored:
    case FaultKind::PowerLoss:
    case FaultKind::LostReply:
    case FaultKind::Echo:
    case FaultKind::Exchange:
      break;  // ApplyLineFault and the meter
  }
}

void ApplyLineFault(const Fault& fault, std::span<const uint8_t> request, ReplyPlan& plan) {
  if (fault.kind == FaultKind::LostReply) {
    plan.bytes.clear();
    plan.garbage = false;
    plan.hangUp = false;
  } else if (fault.kind == FaultKind::Echo) {
    plan.bytes.insert(plan.bytes.begin(), request.begin(), request.end());
    plan.echoed += request.size();
  }
}

}  // namespace metersim
