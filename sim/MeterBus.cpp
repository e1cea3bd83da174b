#include "sim/MeterBus.h"

#include <charconv>

namespace metersim {

namespace {

bool Fail(std::string* error, std::string reason) {
  if (error) *error = std::move(reason);
  return false;
}

// One "model@address"; false with a reason when it is not.
bool ParseMember(std::string_view text, BusMember& member, std::string* error) {
  const size_t at = text.find('@');
  if (at == std::string_view::npos)
    return Fail(error, "expected model@address: " + std::string(text));
  const auto model = ParseMeterModel(text.substr(0, at));
  if (!model) return Fail(error, "unknown model: " + std::string(text.substr(0, at)));
  const std::string_view number = text.substr(at + 1);
  unsigned address = 0;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), address);
  if (number.empty() || ec != std::errc() || end != number.data() + number.size() || address > 255)
    return Fail(error, "address must be 0 to 255: " + std::string(text));
  member = {*model, static_cast<uint8_t>(address)};
  return true;
}

}  // namespace

std::optional<std::vector<BusMember>> ParseBus(std::string_view text, std::string* error) {
  std::vector<BusMember> members;
  bool taken[256] = {};
  for (;;) {
    const size_t comma = text.find(',');
    BusMember member{};
    if (!ParseMember(text.substr(0, comma), member, error)) return std::nullopt;
    const unsigned nodes = member.model == MeterModel::Gdz1207s2 ? 2 : 1;
    for (unsigned i = 0; i < nodes; ++i) {
      const unsigned address = member.address + i;
      if (address > 255 || taken[address]) {
        Fail(error, "address " + std::to_string(address) + " taken twice or out of range");
        return std::nullopt;
      }
      taken[address] = true;
    }
    members.push_back(member);
    if (comma == std::string_view::npos) return members;
    text.remove_prefix(comma + 1);
  }
}

std::vector<std::shared_ptr<VirtualMeter>> MakeBusMeters(const std::vector<BusMember>& members,
                                                         const MeterOptions& options) {
  std::vector<std::shared_ptr<VirtualMeter>> meters;
  for (const BusMember& m : members)
    meters.push_back(std::make_shared<VirtualMeter>(m.model, m.address, options));
  return meters;
}

MeterBus::MeterBus(std::shared_ptr<VirtualMeter> meter) : meters_{std::move(meter)} {}

MeterBus::MeterBus(std::vector<std::shared_ptr<VirtualMeter>> meters)
    : meters_(std::move(meters)) {}

MeterOptions MeterBus::Options() const {
  return meters_.empty() ? MeterOptions{} : meters_.front()->Options();
}

std::optional<ReplyPlan> Overlap(const ReplyPlan& a, const ReplyPlan& b) {
  const bool aFirst = a.delayMs <= b.delayMs;
  ReplyPlan out = aFirst ? a : b;
  const ReplyPlan& late = aFirst ? b : a;
  const uint64_t lagUs = uint64_t{late.delayMs - out.delayMs} * 1000;
  const size_t offset = out.byteTimeUs == 0 ? 0 : static_cast<size_t>(lagUs / out.byteTimeUs);
  if (offset >= out.bytes.size() && !out.bytes.empty()) return std::nullopt;
  if (out.bytes.size() < offset + late.bytes.size())
    out.bytes.resize(offset + late.bytes.size(), 0xFF);
  for (size_t i = 0; i < late.bytes.size(); ++i)
    out.bytes[offset + i] &= late.bytes[i];
  out.garbage = out.garbage || late.garbage;
  out.hangUp = out.hangUp || late.hangUp;
  return out;
}

std::vector<ReplyPlan> MeterBus::Receive(std::span<const uint8_t> bytes) {
  std::vector<ReplyPlan> plans;
  bool answered = false;  // an earlier meter answered this write
  for (const auto& meter : meters_) {
    std::vector<ReplyPlan> mine = meter->Receive(bytes);
    // The master sends one request at a time: the i-th replies of meters
    // that answer the same write answer the same request.
    for (size_t i = 0; i < mine.size(); ++i) {
      const auto both = answered && i < plans.size() ? Overlap(plans[i], mine[i]) : std::nullopt;
      if (both)
        plans[i] = *both;
      else
        plans.push_back(std::move(mine[i]));
    }
    answered = answered || !mine.empty();
  }
  return plans;
}

}  // namespace metersim
