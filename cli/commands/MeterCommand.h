// The base of the commands that talk to a meter: from the options and the
// settings to a PortSpec with the catalogue, the trace of --trace, the capture
// of --pcap and the virtual meter of --demo (a MeterLine); then, for the
// commands that work on a Meter, Connect, and the command runs with it.
#pragma once

#include <memory>

#include "Command.h"
#include "RunCapture.h"
#include "app/core/meter/Connection.h"
#include "sim/DemoMode.h"

// The line of one run, made once.
struct MeterLine {
  Catalogue catalogue;
  PortSpec spec;
  LineTrace trace;                  // empty without --trace
  std::unique_ptr<DemoMeter> demo;  // the virtual meter of --demo, served while this lives
  RunCapture capture;               // --pcap: the frames of the run, while this lives
};

// How a command wants its line: the speed, the address in the PortSpec and of a
// virtual meter, echo suppression.
struct LineChoice {
  unsigned baud = 9600;
  uint8_t address = 0;
  uint8_t demoAddress = 0;
  bool echo = false;
};

class MeterCommand : public Command {
 public:
  using Command::Command;
  // Makes the line (status 3 when the virtual meter cannot be started), then
  // RunOnLine.
  int Run(const CliOptions& o, Settings& settings) const final;

 protected:
  // Default: --baud, else the saved speed; --addr for both; --echo or the
  // settings' echo suppression.
  virtual LineChoice Choose(const CliOptions& o, const Settings& settings) const;
  // Default: ConnectAndRun. Commands whose core operation connects by itself
  // (the read, the snapshot, the guarded write) take the line here.
  virtual int RunOnLine(const CliOptions& o, Settings& settings, MeterLine& line) const;
  // Connects; without a meter prints "Ошибка: ..." and returns 3 (port) or
  // 4 (no meter), else RunWithMeter. The port closes on return.
  int ConnectAndRun(const CliOptions& o, Settings& settings, MeterLine& line) const;
  virtual int RunWithMeter(const CliOptions& o, Settings& settings, MeterLine& line,
                           Meter& meter) const;
};
