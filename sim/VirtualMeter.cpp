#include "sim/VirtualMeter.h"

#include <algorithm>

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
  return {bytes.begin() + address, bytes.begin() + static_cast<std::ptrdiff_t>(address + n)};
}

void VirtualMeter::Write(MemoryArea area, uint32_t address, std::span<const uint8_t> bytes,
                         size_t node) {
  std::lock_guard lock(mutex_);
  if (node >= nodes_.size()) return;
  auto& memory = nodes_[node].Area(area);
  for (size_t i = 0; i < bytes.size() && address + i < memory.size(); ++i)
    memory[address + i] = bytes[i];
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

std::vector<ReplyPlan> VirtualMeter::Receive(std::span<const uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  std::vector<ReplyPlan> plans;
  for (RequestFrame& frame : framer_.Push(bytes)) {
    RequestRecord record;
    record.protocol = frame.protocol;
    const std::vector<uint8_t> reply = frame.protocol == Protocol::ThreeX
                                           ? Answer3x(frame.bytes, record)
                                           : AnswerModBus(frame.bytes, record);
    record.frame = std::move(frame.bytes);
    if (!reply.empty()) {
      ReplyPlan plan = PlanFor(reply);
      for (const Fault& fault : faults_.Take(record))
        ApplyFault(fault, record, plan);
      record.replied = !plan.bytes.empty() || plan.garbage || plan.hangUp;
      if (record.replied) plans.push_back(std::move(plan));
    }
    log_.push_back(std::move(record));
  }
  return plans;
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
