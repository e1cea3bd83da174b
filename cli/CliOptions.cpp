#include "CliOptions.h"

#include <algorithm>
#include <cctype>

#include "sim/DemoMode.h"

namespace {

std::optional<unsigned> Number(const std::string& text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  unsigned v = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  return v;
}

bool KnownModel(const std::string& m) {
  const auto names = DemoModelNames();
  return std::find(names.begin(), names.end(), m) != names.end();
}

}  // namespace

std::optional<unsigned> ComPortNumber(const std::string& port) {
  if (port.size() < 4) return std::nullopt;
  std::string prefix = port.substr(0, 3);
  for (char& c : prefix)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (prefix != "COM") return std::nullopt;
  auto n = Number(port.substr(3));
  if (!n || *n < 1 || *n > 255) return std::nullopt;
  return n;
}

std::optional<CliOptions> ParseCli(const std::vector<std::string>& args, std::string& error) {
  CliOptions o;
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    o.command = CliCommand::Help;
    if (args.size() > 1) o.helpTopic = args[1];
    return o;
  }
  const std::string& cmd = args[0];
  if (cmd == "read")
    o.command = CliCommand::Read;
  else if (cmd == "ports")
    o.command = CliCommand::Ports;
  else if (cmd == "monitor")
    o.command = CliCommand::Monitor;
  else {
    error = "unknown command '" + cmd + "' (expected read, ports or monitor)";
    return std::nullopt;
  }

  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      o.command = CliCommand::Help;
      o.helpTopic = cmd;
      return o;
    }
    const bool takesValue =
        a == "--port" || a == "--baud" || a == "--addr" || a == "--ini" || a == "--demo";
    const bool readOnly = a == "--addr" || a == "--ini" || a == "--demo" || a == "--json";
    const bool known = takesValue || a == "--json" || a == "--trace";
    if (!known || o.command == CliCommand::Ports || (readOnly && o.command != CliCommand::Read)) {
      error = "unknown option '" + a + "' for " + cmd;
      return std::nullopt;
    }
    if (!takesValue) {
      (a == "--json" ? o.json : o.trace) = true;
      continue;
    }
    // "--port --json" is a forgotten value, not a device called "--json".
    if (i + 1 >= args.size() || args[i + 1].empty() || args[i + 1].rfind("--", 0) == 0) {
      error = "option " + a + " needs a value";
      return std::nullopt;
    }
    const std::string& v = args[++i];
    if (a == "--port") {
      o.port = v;
    } else if (a == "--baud") {
      auto b = Number(v);
      const bool readSpeed = b && (*b == 9600 || *b == 19200);
      if (!b || *b == 0 || (o.command == CliCommand::Read && !readSpeed)) {
        error = "baud rate " + v + " is not supported (use 9600 or 19200)";
        return std::nullopt;
      }
      o.baud = b;
    } else if (a == "--addr") {
      auto n = Number(v);
      if (!n || *n > 127) {
        error = "address " + v + " is out of range (0 to 127)";
        return std::nullopt;
      }
      o.addr = *n;
    } else if (a == "--ini") {
      o.ini = v;
    } else if (a == "--demo") {
      if (!KnownModel(v)) {
        error = "unknown model '" + v + "' (" + DemoModelList() + ")";
        return std::nullopt;
      }
      o.demo = v;
    }
  }
  if (o.port && o.demo) {
    error = "--port and --demo exclude each other";
    return std::nullopt;
  }
  if (o.port && !ComPortNumber(*o.port) && o.port->rfind("COM", 0) == 0) {
    error = "port " + *o.port + " is not a valid port (COM1 to COM255 or a device path)";
    return std::nullopt;
  }
  return o;
}

std::string CliHelp(const std::string& command) {
  if (command == "read")
    return "usage: calibrate-cli read [--port COMn|PATH] [--baud 9600|19200] [--addr N]\n"
           "                          [--ini FILE] [--json] [--demo MODEL] [--trace]\n"
           "\n"
           "Reads a meter exactly as the window's \"Прочитать\" does: identifies it, then\n"
           "shows its serial number, K0 and Ku of both channels, the calibration record and\n"
           "the reference firmware data.\n"
           "\n"
           "  --port COMn|PATH  port number (mapped through [Ports] of the settings file)\n"
           "                    or a device path; default: the port saved by the window\n"
           "  --baud B          9600 or 19200; default: the saved speed\n"
           "  --addr N          network address 0..127 (default 0)\n"
           "  --ini FILE        settings file (default: Calibrate.ini beside the program)\n"
           "  --json            one JSON object instead of text\n"
           "  --demo MODEL      read a virtual meter: " +
           DemoModelList() +
           "\n"
           "                    (bus: meters at addresses 1, 5 and 17; --addr picks one)\n"
           "  --trace           print every byte sent and received on stderr\n"
           "\n"
           "Exit status: 0 read, 1 a field shows ERR, 2 usage error, 3 the port cannot\n"
           "be opened, 4 no meter recognised.\n";
  if (command == "ports")
    return "usage: calibrate-cli ports\n"
           "\n"
           "Lists the serial devices present and the COMn bindings of the port map.\n";
  if (command == "monitor")
    return "usage: calibrate-cli monitor [--port COMn|PATH] [--baud B]\n"
           "\n"
           "Listens on the line without sending anything and prints each burst of\n"
           "received bytes in hex, one line per burst with its tick and time, until\n"
           "interrupted (Ctrl+C).\n"
           "\n"
           "  --port COMn|PATH  default: the port saved by the window\n"
           "  --baud B          default: the saved speed (9600 or 19200)\n";
  return "usage: calibrate-cli <command> [options]\n"
         "\n"
         "Commands:\n"
         "  read      read a meter's calibration data\n"
         "  ports     list serial devices and the port map\n"
         "  monitor   show the traffic on a line\n"
         "\n"
         "calibrate-cli <command> --help shows the options of a command.\n";
}
