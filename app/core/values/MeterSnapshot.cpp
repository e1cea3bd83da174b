#include "MeterSnapshot.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace {

// The numbers of the last run of digits and dots that holds a digit: "ZFK-36
// v2.04" gives {2, 4}. Empty when there is none, or a number is too long to
// be a version.
std::vector<unsigned> VersionNumbers(const std::string& text) {
  const auto isVersionChar = [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) || c == '.';
  };
  size_t end = text.size();
  while (end > 0 && !std::isdigit(static_cast<unsigned char>(text[end - 1])))
    --end;
  size_t begin = end;
  while (begin > 0 && isVersionChar(text[begin - 1]))
    --begin;
  std::vector<unsigned> numbers;
  std::string digits;
  for (size_t i = begin; i <= end; ++i) {
    if (i < end && text[i] != '.') {
      digits += text[i];
      continue;
    }
    if (digits.empty()) continue;  // ".5" or "1..2": the empty part does not count
    if (digits.size() > 6) return {};
    numbers.push_back(static_cast<unsigned>(std::stoul(digits)));
    digits.clear();
  }
  return numbers;
}

bool Failed(ValueState s) {
  return s == ValueState::Failed;
}

}  // namespace

SnapshotChannel SnapshotChannel::Of(uint8_t channel) {
  SnapshotChannel c;
  for (uint8_t i = 0; i < c.k.size(); ++i) {
    c.k[i].ref = {CoefList::K, channel, i};
    c.obr[i].ref = {CoefList::Obr, channel, i};
  }
  return c;
}

std::string ClockReading::Text() const {
  const auto t = Time();
  if (state != ValueState::Read || !t) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%02u.%02u.%02u %02u:%02u:%02u", t->Year, t->Month, t->Day,
                t->Hour, t->Minute, t->Second);
  return text;
}

FirmwareCheck CompareFirmware(const std::string& meterText, const std::string& reference) {
  const auto meter = VersionNumbers(meterText);
  const auto ref = VersionNumbers(reference);
  if (meter.empty() || ref.empty()) return FirmwareCheck::Unreadable;
  return meter == ref ? FirmwareCheck::Match : FirmwareCheck::Mismatch;
}

bool MeterSnapshot::AnyFailed() const {
  if (Failed(serialState) || Failed(softVerState) || Failed(record.state) || Failed(clock.state) ||
      !integrity.empty())
    return true;
  for (const SnapshotChannel& c : channels) {
    if (Failed(c.gmax.state) || Failed(c.g.state) || Failed(c.sfr.state)) return true;
    for (size_t i = 0; i < c.k.size(); ++i)
      if (Failed(c.k[i].state) || Failed(c.obr[i].state)) return true;
  }
  return false;
}
