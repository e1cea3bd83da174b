#include "sim/VirtualMeter.h"

#include <algorithm>

#include "comm/LumClock.h"
#include "sim/MeterDefaults.h"
#include "sim/SimCodec.h"

namespace metersim {

namespace {

MeterOptions Sane(MeterOptions options) {
  if (options.baud == 0) options.baud = 9600;
  return options;
}

}  // namespace

VirtualMeter::VirtualMeter(MeterModel model, uint8_t address, MeterOptions options)
    : model_(model), options_(Sane(options)) {
  MeterContents contents = DefaultContents(model);
  nodes_ = std::move(contents.nodes);
  idText_ = std::move(contents.idText);
  softVersion_ = std::move(contents.softVersion);
  for (size_t i = 0; i < nodes_.size(); ++i)
    nodes_[i].address = static_cast<uint8_t>(address + i);
  // The 3x meters keep a clock; it starts at the computer's local time.
  if (SpeaksModBus(model_)) return;
  const ClockBytes now = ClockBytesOf(lum::LocalDateTime());
  for (Node& node : nodes_) {
    node.clock.present = true;
    std::copy(now.begin(), now.end(), node.Area(MemoryArea::Rtc128).begin());
    ClockWritten(node, 0, kClockBytes);
  }
}

MeterModel VirtualMeter::Model() const {
  return model_;
}

uint8_t VirtualMeter::Address() const {
  std::lock_guard lock(mutex_);
  return nodes_[0].address;
}

void VirtualMeter::SetAddress(uint8_t address) {
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < nodes_.size(); ++i)
    nodes_[i].address = static_cast<uint8_t>(address + i);
}

size_t VirtualMeter::NodeCount() const {
  std::lock_guard lock(mutex_);
  return nodes_.size();
}

MeterOptions VirtualMeter::Options() const {
  std::lock_guard lock(mutex_);
  return options_;
}

void VirtualMeter::SetOptions(const MeterOptions& options) {
  std::lock_guard lock(mutex_);
  options_ = Sane(options);
}

std::vector<uint8_t> VirtualMeter::Read(MemoryArea area, uint32_t address, size_t count,
                                        size_t node) const {
  std::lock_guard lock(mutex_);
  if (node >= nodes_.size()) return {};
  const auto& bytes = nodes_[node].Area(area);
  if (address >= bytes.size()) return {};
  const size_t n = std::min(count, bytes.size() - address);
  std::vector<uint8_t> out(bytes.begin() + address,
                           bytes.begin() + static_cast<std::ptrdiff_t>(address + n));
  const auto clock = area == MemoryArea::Rtc128 ? ClockNow(nodes_[node]) : std::nullopt;
  for (size_t i = address; clock && i < kClockBytes && i < address + n; ++i)
    out[i - address] = (*clock)[i];
  return out;
}

void VirtualMeter::Write(MemoryArea area, uint32_t address, std::span<const uint8_t> bytes,
                         size_t node) {
  std::lock_guard lock(mutex_);
  if (node >= nodes_.size()) return;
  auto& memory = nodes_[node].Area(area);
  if (area == MemoryArea::Rtc128) TickClock(nodes_[node]);
  for (size_t i = 0; i < bytes.size() && address + i < memory.size(); ++i)
    memory[address + i] = bytes[i];
  if (area == MemoryArea::Rtc128) ClockWritten(nodes_[node], address, bytes.size());
}

uint16_t VirtualMeter::Register(uint16_t reg) const {
  const auto bytes = Read(MemoryArea::Registers, 2u * reg, 2);
  return bytes.size() == 2 ? BigEndian16(bytes.data()) : 0;
}

void VirtualMeter::SetRegister(uint16_t reg, uint16_t value) {
  const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
  Write(MemoryArea::Registers, 2u * reg, bytes);
}

std::string VirtualMeter::IdText() const {
  std::lock_guard lock(mutex_);
  return idText_;
}

void VirtualMeter::SetIdText(std::string text) {
  std::lock_guard lock(mutex_);
  idText_ = std::move(text);
}

std::string VirtualMeter::SoftVersion() const {
  std::lock_guard lock(mutex_);
  return softVersion_;
}

void VirtualMeter::SetSoftVersion(std::string text) {
  std::lock_guard lock(mutex_);
  softVersion_ = std::move(text);
}

uint8_t VirtualMeter::UnlockStatus() const {
  std::lock_guard lock(mutex_);
  return unlockStatus_;
}

void VirtualMeter::SetUnlockStatus(uint8_t status) {
  std::lock_guard lock(mutex_);
  unlockStatus_ = status;
}

uint8_t VirtualMeter::CommandStatus() const {
  std::lock_guard lock(mutex_);
  return commandStatus_;
}

void VirtualMeter::SetCommandStatus(uint8_t status) {
  std::lock_guard lock(mutex_);
  commandStatus_ = status;
}

void VirtualMeter::AddFault(const Fault& fault) {
  std::lock_guard lock(mutex_);
  faults_.Add(fault);
}

void VirtualMeter::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.Clear();
}

std::vector<Fault> VirtualMeter::PendingFaults() const {
  std::lock_guard lock(mutex_);
  return faults_.Pending();
}

std::vector<RequestRecord> VirtualMeter::Requests() const {
  std::lock_guard lock(mutex_);
  return log_;
}

void VirtualMeter::ClearRequests() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

size_t VirtualMeter::WriteCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<size_t>(
      std::count_if(log_.begin(), log_.end(), [](const auto& r) { return r.forMe && r.writes; }));
}

void VirtualMeter::SetFlow(int channel, float flow) {
  std::lock_guard lock(mutex_);
  if (channel == 1 || channel == 2) flow_[static_cast<size_t>(channel - 1)] = flow;
}

void VirtualMeter::ClearFlow(int channel) {
  std::lock_guard lock(mutex_);
  if (channel != 1 && channel != 2) return;
  flow_[static_cast<size_t>(channel - 1)].reset();
  trueFlow_[static_cast<size_t>(channel - 1)].reset();
}

void VirtualMeter::SetTrueFlow(int channel, double flow) {
  std::lock_guard lock(mutex_);
  if (channel == 1 || channel == 2) trueFlow_[static_cast<size_t>(channel - 1)] = flow;
}

void VirtualMeter::SetErrorCurve(int channel, std::vector<CurvePoint> curve) {
  std::lock_guard lock(mutex_);
  if (channel == 1 || channel == 2) curve_[static_cast<size_t>(channel - 1)] = std::move(curve);
}

std::optional<float> VirtualMeter::Flow(int channel) const {
  std::lock_guard lock(mutex_);
  if (channel != 1 && channel != 2) return std::nullopt;
  return flow_[static_cast<size_t>(channel - 1)];
}

void VirtualMeter::SetNoise(float level, uint64_t seed) {
  std::lock_guard lock(mutex_);
  noiseLevel_ = level;
  noise_ = FlowNoise(seed);
}

void VirtualMeter::PowerOff() {
  std::lock_guard lock(mutex_);
  powered_ = false;
}

void VirtualMeter::PowerOn() {
  std::lock_guard lock(mutex_);
  powered_ = true;
  framer_.Reset();
}

bool VirtualMeter::Powered() const {
  std::lock_guard lock(mutex_);
  return powered_;
}

std::vector<ReplyPlan> VirtualMeter::Receive(std::span<const uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  std::vector<ReplyPlan> plans;
  for (RequestFrame& frame : framer_.Push(bytes)) {
    RequestRecord record;
    record.protocol = frame.protocol;
    // Only a write fault can take a write back; the copy costs nothing otherwise.
    std::optional<std::vector<Node>> before;
    if (WriteFaultPending()) before = nodes_;
    const std::vector<uint8_t> reply = frame.protocol == Protocol::ThreeX
                                           ? Answer3x(frame.bytes, record)
                                           : AnswerModBus(frame.bytes, record);
    record.frame = std::move(frame.bytes);
    if (!reply.empty()) {
      ReplyPlan plan = PlanFor(reply);
      const std::vector<Fault> hits = faults_.Take(record);
      for (const Fault& fault : hits)
        ApplyFault(fault, record, plan);
      Suffer(hits, record, before, plan);
      record.replied = plan.bytes.size() > plan.echoed || plan.garbage || plan.hangUp;
      if (!plan.bytes.empty() || plan.garbage || plan.hangUp) plans.push_back(std::move(plan));
    }
    log_.push_back(std::move(record));
  }
  return plans;
}

bool VirtualMeter::WriteFaultPending() const {
  const auto pending = faults_.Pending();
  return std::any_of(pending.begin(), pending.end(), [](const Fault& f) {
    return f.kind == FaultKind::NotStored || f.kind == FaultKind::PowerLoss ||
           f.kind == FaultKind::Exception;
  });
}

void VirtualMeter::Suffer(const std::vector<Fault>& faults, const RequestRecord& record,
                          const std::optional<std::vector<Node>>& before, ReplyPlan& plan) {
  std::optional<Fault> echo;
  for (const Fault& fault : faults) {
    switch (fault.kind) {
      case FaultKind::PowerLoss:
        // The power goes while the meter takes the write: none of it is
        // kept, and nothing answers any more.
        powered_ = false;
        plan = PlanFor({});
        [[fallthrough]];
      case FaultKind::NotStored:
        if (before) nodes_ = *before;
        break;
      case FaultKind::Exception:
        // A meter that answers a write with an exception has refused it.
        if (record.writes && before) nodes_ = *before;
        break;
      case FaultKind::LostReply:
        ApplyLineFault(fault, record.frame, plan);
        break;
      case FaultKind::Echo:
        echo = fault;  // the line echoes whatever the meter did
        break;
      case FaultKind::Exchange: {
        // Another meter: the last byte of its serial number one more.
        const SerialPlace at = SerialPlaceOf(model_);
        uint8_t& last = nodes_[0].Area(at.area)[at.address + at.size - 1];
        last = static_cast<uint8_t>(last + 1);
        break;
      }
      default:
        break;
    }
  }
  if (echo) ApplyLineFault(*echo, record.frame, plan);
}

void VirtualMeter::RefreshPresent() {
  for (size_t i = 0; i < flow_.size(); ++i) {
    const int channel = static_cast<int>(i + 1);
    if (trueFlow_[i]) {
      const auto g = TrueFlowG(model_, nodes_, channel, *trueFlow_[i], curve_[i]);
      if (g)
        PutPresentValues(model_, nodes_, channel, static_cast<float>(*g),
                         static_cast<float>(*g) * kSfrPerFlow);
      continue;
    }
    if (!flow_[i]) continue;
    const float g = *flow_[i] * (1.0f + noiseLevel_ * noise_.Next());
    PutPresentValues(model_, nodes_, static_cast<int>(i + 1), g, g * kSfrPerFlow);
  }
}

std::optional<ClockBytes> VirtualMeter::ClockNow(const Node& node) const {
  if (!node.clock.present || !node.clock.running) return std::nullopt;
  const uint64_t now = lum::NowMs();
  const uint64_t seconds = now > node.clock.setAtMs ? (now - node.clock.setAtMs) / 1000 : 0;
  return AdvanceClock(std::span(node.Area(MemoryArea::Rtc128)).first<kClockBytes>(), seconds);
}

void VirtualMeter::TickClock(Node& node) {
  const auto now = ClockNow(node);
  if (!now) return;
  std::copy(now->begin(), now->end(), node.Area(MemoryArea::Rtc128).begin());
  // Keep the part of a second that has not yet come round; a clock that
  // seems to run backwards (another time source) starts again from here.
  const uint64_t ms = lum::NowMs();
  node.clock.setAtMs = ms >= node.clock.setAtMs ? ms - (ms - node.clock.setAtMs) % 1000 : ms;
}

void VirtualMeter::ClockWritten(Node& node, uint32_t start, size_t count) {
  if (!node.clock.present || start >= kClockBytes || count == 0) return;
  const auto bytes = std::span(node.Area(MemoryArea::Rtc128)).first<kClockBytes>();
  node.clock.running = AdvanceClock(bytes, 0).has_value();
  node.clock.setAtMs = lum::NowMs();
}

VirtualMeter::Node* VirtualMeter::NodeAt(uint8_t address) {
  for (Node& node : nodes_)
    if (node.address == address) return &node;
  return nullptr;
}

ReplyPlan VirtualMeter::PlanFor(std::vector<uint8_t> reply) const {
  ReplyPlan plan;
  plan.bytes = std::move(reply);
  plan.delayMs = options_.turnaroundMs;
  plan.lineByteTimeUs = std::max<uint32_t>(1, ByteTimeUs(options_.baud));
  plan.byteTimeUs = options_.pacing ? plan.lineByteTimeUs : 0;
  return plan;
}

}  // namespace metersim
