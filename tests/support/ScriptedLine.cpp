#include "ScriptedLine.h"

namespace {

class ScriptedDevice final : public SerialDevice {
 public:
  explicit ScriptedDevice(std::shared_ptr<ScriptedLine> line) : line_(std::move(line)) {}
  void Purge() override { line_->DevicePurge(); }
  bool Write(std::span<const uint8_t> bytes) override { return line_->DeviceWrite(bytes); }
  bool ReadByte(uint8_t& byte) override { return line_->DeviceReadByte(byte); }
  bool WaitForInput(uint32_t timeoutMs) override { return line_->DeviceWaitForInput(timeoutMs); }

 private:
  std::shared_ptr<ScriptedLine> line_;
};

}  // namespace

void ScriptedLine::Bind(uint8_t port) {
  boundPort_ = port;
  lum::BindSerialPortDevice(port, Factory());
}

SerialDeviceFactory ScriptedLine::Factory() {
  std::weak_ptr<ScriptedLine> weak = weak_from_this();
  return [weak](uint32_t) -> std::unique_ptr<SerialDevice> {
    auto line = weak.lock();
    if (!line) return nullptr;
    {
      std::lock_guard lock(line->mutex_);
      if (line->openFails_) return nullptr;
      ++line->opens_;
    }
    return std::make_unique<ScriptedDevice>(line);
  };
}

void ScriptedLine::Feed(std::span<const uint8_t> bytes, uint32_t delayMs, uint32_t gapMs) {
  std::lock_guard lock(mutex_);
  uint64_t t = clock_.NowMs() + delayMs;
  // Bytes fed later never overtake bytes already on the line.
  if (!input_.empty() && input_.back().first > t) t = input_.back().first;
  for (uint8_t b : bytes) {
    input_.emplace_back(t, b);
    t += gapMs;
  }
}

void ScriptedLine::SetResponder(Responder responder) {
  std::lock_guard lock(mutex_);
  responder_ = std::move(responder);
}

void ScriptedLine::SetWriteFails(bool fails) {
  std::lock_guard lock(mutex_);
  writeFails_ = fails;
}

void ScriptedLine::SetOpenFails(bool fails) {
  std::lock_guard lock(mutex_);
  openFails_ = fails;
}

std::vector<std::vector<uint8_t>> ScriptedLine::Writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

std::vector<uint8_t> ScriptedLine::Written() const {
  std::lock_guard lock(mutex_);
  std::vector<uint8_t> all;
  for (const auto& w : writes_)
    all.insert(all.end(), w.begin(), w.end());
  return all;
}

void ScriptedLine::ClearWrites() {
  std::lock_guard lock(mutex_);
  writes_.clear();
}

size_t ScriptedLine::PendingInput() const {
  std::lock_guard lock(mutex_);
  return input_.size();
}

int ScriptedLine::Opens() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

int ScriptedLine::Purges() const {
  std::lock_guard lock(mutex_);
  return purges_;
}

bool ScriptedLine::DeviceWrite(std::span<const uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  if (writeFails_) return false;
  writes_.emplace_back(bytes.begin(), bytes.end());
  sincePurge_.insert(sincePurge_.end(), bytes.begin(), bytes.end());
  if (responder_) {
    auto request = sincePurge_;  // the responder may purge or feed
    responder_(*this, request);
  }
  return true;
}

bool ScriptedLine::DeviceReadByte(uint8_t& byte) {
  std::lock_guard lock(mutex_);
  if (input_.empty() || input_.front().first > clock_.NowMs()) return false;
  byte = input_.front().second;
  input_.pop_front();
  return true;
}

bool ScriptedLine::DeviceWaitForInput(uint32_t timeoutMs) {
  std::lock_guard lock(mutex_);
  const uint64_t limit = clock_.NowMs() + timeoutMs;
  if (!input_.empty() && input_.front().first <= limit) {
    clock_.AdvanceTo(input_.front().first);
    return true;
  }
  clock_.AdvanceTo(limit);
  return false;
}

void ScriptedLine::DevicePurge() {
  std::lock_guard lock(mutex_);
  ++purges_;
  sincePurge_.clear();
  // Only what has already arrived is in the queue; bytes still on their way
  // arrive after the purge, as on a real line.
  while (!input_.empty() && input_.front().first <= clock_.NowMs())
    input_.pop_front();
}
