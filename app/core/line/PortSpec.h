// Which line and which meter on it: made once by each front end (the window
// from its selection, the command line from --port/--baud/--addr/--echo, the
// demo from its pseudo-terminal) and handed down unchanged to the port, which
// opens the device by this name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class IniFile;

struct PortSpec {
  std::string device;  // what the serial layer opens; empty: no port chosen
  std::string name;    // what messages call it: "COM3" as chosen, or the device path
  unsigned baud = 9600;
  uint8_t address = 0;  // 0..127
  bool echo = false;    // the line echoes every request (a two-wire adapter)
};

// "COM7" (any case) gives 7, for 1..255; anything else (a path) nullopt.
std::optional<unsigned> ComPortNumber(const std::string& port);

// The one place a port name becomes a device: COMn is \\.\COMn on Windows; on
// other systems it is looked up in [Ports] of the settings file (COM3 =
// /dev/ttyUSB0) and is /dev/ttyS{n-1} without an entry. A path is itself.
std::string ResolvePortDevice(const std::string& port, const IniFile& ini);

// A PortSpec for the port the engineer named ("" when none is chosen).
PortSpec MakePortSpec(const std::string& port, unsigned baud, unsigned address, bool echo,
                      const IniFile& ini);
