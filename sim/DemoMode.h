// The demo mode of both front ends: a virtual meter behind a device name, so
// that a newcomer sees a real read without a meter. On Linux the meter serves
// a pseudo-terminal and the port opens it through the termios layer; where
// there are no pseudo-terminals it is hosted in process behind the serial
// layer's interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/VirtualMeter.h"

class DemoMeter {
 public:
  virtual ~DemoMeter() = default;  // stops the meters
  // The meter, the first one on a bus.
  virtual std::shared_ptr<metersim::VirtualMeter> Meter() const = 0;
  // Every meter on the line.
  virtual std::vector<std::shared_ptr<metersim::VirtualMeter>> Meters() const = 0;
  // What the port opens: the pseudo-terminal's path, or "in process".
  virtual std::string Where() const = 0;
  // The device name a PortSpec takes to reach it: the pseudo-terminal's
  // path, or the name the in-process meter is registered under.
  virtual std::string Device() const = 0;
};

// The model names StartDemoMeter takes: every meter model's, then "bus",
// several meters on one line (metersim::kDemoBus: ZFK-31 at address 1,
// GDZ-12.08 at 5, ZFK-36 at 17), where the address the front end reads
// chooses the meter.
std::vector<std::string> DemoModelNames();
// The same names as one line of text, "zfk31, zfk36, ..., bus".
std::string DemoModelList();

// Starts a virtual meter of `model` (one of DemoModelNames) at `addr` (a
// bus keeps its own addresses), pacing its replies at `baud`. nullptr and a
// one-line reason in error when it cannot.
std::unique_ptr<DemoMeter> StartDemoMeter(const std::string& model, uint8_t addr, unsigned baud,
                                          std::string& error);
