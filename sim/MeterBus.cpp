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

std::vector<ReplyPlan> MeterBus::Receive(std::span<const uint8_t> bytes) {
  std::vector<ReplyPlan> plans;
  for (const auto& meter : meters_)
    for (ReplyPlan& plan : meter->Receive(bytes))
      plans.push_back(std::move(plan));
  return plans;
}

}  // namespace metersim
