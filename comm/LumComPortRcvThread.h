// The receive thread of the serial port component. It reads every incoming
// byte and reports it, and each pause in the traffic, on the main thread.
//
// Ticks number the bursts of traffic: the bytes of one burst and the time-out
// event that closes it carry the same tick; two byte time-outs of silence close
// a burst. While the line is silent a time-out event fires once per cycle of
// two byte time-outs and one interval, each with a new tick.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "LuMComPort.h"

class TlumComPortRcvThread {
 public:
  // Takes its own copies of everything; later changes to the port's
  // properties do not reach a running thread. Starts at once.
  TlumComPortRcvThread(std::shared_ptr<SerialDevice> device, uint32_t interval,
                       uint32_t byteTimeout, TOnReceiveByteEvent onByte,
                       TOnReceiveTimeout onTimeout, TlumCustomComPort* sender);
  // Requests a stop and waits for the end, running the events the thread has
  // handed to the main thread meanwhile.
  ~TlumComPortRcvThread();

 private:
  void Run();
  // Reads until two byte time-outs pass without a byte; false when a stop
  // request cut the burst short.
  bool ReadBurst(uint32_t tick);

  std::shared_ptr<SerialDevice> device_;
  uint32_t interval_;
  uint32_t byteTimeout_;
  TOnReceiveByteEvent onByte_;
  TOnReceiveTimeout onTimeout_;
  TlumCustomComPort* sender_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> ended_{false};
  std::thread thread_;
};
