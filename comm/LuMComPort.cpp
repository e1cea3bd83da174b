#include "LuMComPort.h"

#include <algorithm>

#include "LumClock.h"
#include "LumComPortRcvThread.h"

TlumCustomComPort::TlumCustomComPort() = default;

TlumCustomComPort::~TlumCustomComPort() {
  Close();
}

void TlumCustomComPort::SetThreadInterval(uint32_t value) {
  if (value == threadInterval_) return;
  threadInterval_ = std::clamp<uint32_t>(value, 10, 10000);
}

void TlumCustomComPort::SetThreadByteTimeout(uint32_t value) {
  if (value == threadByteTimeout_) return;
  threadByteTimeout_ = std::clamp<uint32_t>(value, 10, 1000);
}

bool TlumCustomComPort::Open() {
  Close();  // a second Open must not leave the first device open behind us
  openError_ = {};
  device_ = deviceName_.empty() ? lum::OpenSerialPort(comPort_, baudRate_, &openError_)
                                : lum::OpenSerialDevice(deviceName_, baudRate_, &openError_);
  if (!device_) return false;
  if (receiveInThread_) {
    thread_ = std::make_unique<TlumComPortRcvThread>(device_, threadInterval_, threadByteTimeout_,
                                                     onReceiveByte_, onReceiveTimeout_, this);
  }
  return true;
}

void TlumCustomComPort::Close() {
  if (!device_) return;
  thread_.reset();  // stops the thread, delivering its events while it waits
  device_.reset();
}

void TlumCustomComPort::Purge() {
  if (device_) device_->Purge();
}

bool TlumCustomComPort::WriteByte(uint8_t value) {
  return WriteBuffer({&value, 1});
}

bool TlumCustomComPort::ReadByte(uint8_t& value) {
  if (receiveInThread_ || !device_) return false;
  if (!device_->ReadByte(value)) return false;
  ++bytesReceived_;
  Trace(TraceDirection::Received, {&value, 1});
  return true;
}

bool TlumCustomComPort::WriteBuffer(std::span<const uint8_t> bytes) {
  if (!device_) return false;
  Trace(TraceDirection::Sent, bytes);
  return device_->Write(bytes);
}

bool TlumCustomComPort::WaitForInput(uint32_t timeoutMs) {
  if (receiveInThread_ || !device_) {
    lum::SleepMs(timeoutMs);
    return false;
  }
  return device_->WaitForInput(timeoutMs);
}

std::string TlumCustomComPort::DeviceName() const {
  return deviceName_.empty() ? lum::SerialPortName(comPort_) : deviceName_;
}

void TlumCustomComPort::Trace(TraceDirection direction, std::span<const uint8_t> bytes) const {
  if (onTrace_) onTrace_(direction, bytes);
}
