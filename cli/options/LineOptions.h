// --port, --baud, --trace and --pcap, and the PortSpec they make with the settings.
#pragma once

#include "CliOptions.h"
#include "Declaration.h"
#include "app/core/line/PortSpec.h"
#include "app/core/settings/Settings.h"

// The speeds a meter talks at, or (monitor, which only listens) any.
enum class Speeds { Meter, Any };

// The refusal of a speed a meter does not talk at (read's --baud, scan's).
std::string UnsupportedBaud(const std::string& baud);

void AddLineOptions(Declaration& d, LineOptions& o, Speeds speeds, bool trace = true);

// The port the run talks to: --port, else the window's saved port (COM1..COM32,
// as its list offers them); "" when none.
std::string ChosenPort(const std::optional<std::string>& port, const Settings& settings);

// --baud, else the window's saved speed.
unsigned ChosenBaud(const std::optional<unsigned>& baud, const Settings& settings);

// The line as the serial layer opens it: the chosen port through the port map.
PortSpec LinePortSpec(const LineOptions& o, Settings& settings, unsigned baud, unsigned address,
                      bool echo);
