// The demo mode of both front ends: a virtual meter behind a port number, so
// that a newcomer sees a real read without a meter. On Linux the meter serves
// a pseudo-terminal and the port opens it through the termios layer; where
// there are no pseudo-terminals it is hosted in process behind the serial
// layer's interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sim/VirtualMeter.h"

class DemoMeter {
 public:
  virtual ~DemoMeter() = default;  // unbinds the port and stops the meter
  virtual std::shared_ptr<metersim::VirtualMeter> Meter() const = 0;
  // What the port opens: the pseudo-terminal's path, or "in process".
  virtual std::string Where() const = 0;
};

// Starts a virtual meter of `model` ("zfk31", "zfk36", "gdz1207s",
// "gdz1207s-2", "gdz1208", "gdz1208-2") at `addr`, pacing its replies at
// `baud`, and binds port number `port` to it. nullptr and a one-line reason
// in error when it cannot.
std::unique_ptr<DemoMeter> StartDemoMeter(const std::string& model, uint8_t port, uint8_t addr,
                                          unsigned baud, std::string& error);
