// Serial port component: owns one numbered serial device of the system, opens
// it raw 8N1 at the configured speed, writes bytes and buffers, and reads single
// bytes without blocking. Optionally a receive thread reports every incoming
// byte and each pause in the traffic through two events on the main thread.
//
// Both protocol engines read the port themselves and need the thread off.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "serial/SerialDevice.h"

class TlumCustomComPort;
class TlumComPortRcvThread;

using TOnReceiveByteEvent =
    std::function<void(TlumCustomComPort* Sender, uint8_t ByteVal, uint32_t ThreadTick)>;
using TOnReceiveTimeout = std::function<void(TlumCustomComPort* Sender, uint32_t ThreadTick)>;

enum class TraceDirection { Sent, Received };
// Sees every byte that crosses the port, for trace output and byte counts.
using TOnTrace = std::function<void(TraceDirection, std::span<const uint8_t>)>;
// Hears what an engine decided about each attempt of an exchange (reply
// accepted, or rejected and why, and whether it tries again), so that a trace
// explains a field that shows "ERR", not only the bytes.
using TOnTraceNote = std::function<void(std::string_view)>;

// Both trace hooks of a port, handed down together from a front end.
struct LineTrace {
  LineTrace() = default;
  LineTrace(TOnTrace b, TOnTraceNote n = {}) : bytes(std::move(b)), notes(std::move(n)) {}
  TOnTrace bytes;
  TOnTraceNote notes;
};

class TlumCustomComPort {
 public:
  TlumCustomComPort();
  virtual ~TlumCustomComPort();  // closes an open device
  TlumCustomComPort(const TlumCustomComPort&) = delete;
  TlumCustomComPort& operator=(const TlumCustomComPort&) = delete;

  // Opens the device of port ComPort at BaudRate. An already open device is
  // closed first. False, with Active false, when it cannot be opened.
  bool Open();
  // Stops the receive thread (delivering its pending events meanwhile), then
  // closes the device. Does nothing when not open.
  void Close();
  // Discards both queues of an open device; does nothing when closed.
  void Purge();
  // True when exactly one byte was written.
  bool WriteByte(uint8_t value);
  // True when a waiting byte was read; false at once when none is waiting, when
  // the port is closed, or while ReceiveInThread is set.
  bool ReadByte(uint8_t& value);
  // True when all bytes were written.
  bool WriteBuffer(std::span<const uint8_t> bytes);
  // Waits up to timeoutMs for input; true when a byte is waiting. A closed port
  // or one with ReceiveInThread set just waits out the time.
  bool WaitForInput(uint32_t timeoutMs);
  // Bytes ReadByte has taken off the line since the object was made, so that
  // a caller can tell silence from a reply that came but did not check out.
  uint64_t BytesReceived() const { return bytesReceived_; }

  bool Active() const { return device_ != nullptr; }
  // The device Open opens by name ("/dev/ttyUSB0", "\\.\COM3", a registered
  // virtual device), in place of port number ComPort's; empty: ComPort's.
  const std::string& Device() const { return deviceName_; }
  void SetDevice(std::string name) { deviceName_ = std::move(name); }
  // Why the last Open failed; kind None after one that succeeded (or before
  // any).
  const PortOpenError& OpenError() const { return openError_; }
  // The device name the last Open used (or would use), for messages.
  std::string DeviceName() const;

  const TOnTrace& OnTrace() const { return onTrace_; }
  void SetOnTrace(TOnTrace trace) { onTrace_ = std::move(trace); }
  void SetOnTraceNote(TOnTraceNote note) { onTraceNote_ = std::move(note); }
  bool TracingNotes() const { return static_cast<bool>(onTraceNote_); }
  void TraceNote(std::string_view text) const {
    if (onTraceNote_) onTraceNote_(text);
  }

 protected:
  uint8_t ComPort() const { return comPort_; }
  void SetComPort(uint8_t value) {
    if (value != comPort_) comPort_ = value;
  }
  uint32_t BaudRate() const { return baudRate_; }
  void SetBaudRate(uint32_t value) {
    if (value != baudRate_) baudRate_ = value;
  }
  uint32_t ThreadInterval() const { return threadInterval_; }
  void SetThreadInterval(uint32_t value);
  uint32_t ThreadByteTimeout() const { return threadByteTimeout_; }
  void SetThreadByteTimeout(uint32_t value);
  bool ReceiveInThread() const { return receiveInThread_; }
  void SetReceiveInThread(bool value) {
    if (value != receiveInThread_) receiveInThread_ = value;
  }
  const TOnReceiveByteEvent& OnReceiveByte() const { return onReceiveByte_; }
  void SetOnReceiveByte(TOnReceiveByteEvent handler) { onReceiveByte_ = std::move(handler); }
  const TOnReceiveTimeout& OnReceiveTimeout() const { return onReceiveTimeout_; }
  void SetOnReceiveTimeout(TOnReceiveTimeout handler) { onReceiveTimeout_ = std::move(handler); }

 private:
  void Trace(TraceDirection direction, std::span<const uint8_t> bytes) const;

  uint8_t comPort_ = 1;
  std::string deviceName_;
  uint32_t baudRate_ = 9600;
  uint32_t threadInterval_ = 100;
  uint32_t threadByteTimeout_ = 10;
  bool receiveInThread_ = false;
  TOnReceiveByteEvent onReceiveByte_;
  TOnReceiveTimeout onReceiveTimeout_;
  TOnTrace onTrace_;
  TOnTraceNote onTraceNote_;
  std::shared_ptr<SerialDevice> device_;  // shared with the receive thread
  PortOpenError openError_;
  uint64_t bytesReceived_ = 0;
  std::unique_ptr<TlumComPortRcvThread> thread_;
};

// Publishes the properties of TlumCustomComPort.
class TlumComPort : public TlumCustomComPort {
 public:
  static constexpr const char* Version() { return "v1.00"; }

  using TlumCustomComPort::BaudRate;
  using TlumCustomComPort::ComPort;
  using TlumCustomComPort::OnReceiveByte;
  using TlumCustomComPort::OnReceiveTimeout;
  using TlumCustomComPort::ReceiveInThread;
  using TlumCustomComPort::SetBaudRate;
  using TlumCustomComPort::SetComPort;
  using TlumCustomComPort::SetOnReceiveByte;
  using TlumCustomComPort::SetOnReceiveTimeout;
  using TlumCustomComPort::SetReceiveInThread;
  using TlumCustomComPort::SetThreadByteTimeout;
  using TlumCustomComPort::SetThreadInterval;
  using TlumCustomComPort::ThreadByteTimeout;
  using TlumCustomComPort::ThreadInterval;
};
