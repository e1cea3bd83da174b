#include "CliOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>

#include "JournalCommands.h"
#include "sim/DemoMode.h"

namespace {

bool KnownModel(const std::string& m) {
  const auto names = DemoModelNames();
  return std::find(names.begin(), names.end(), m) != names.end();
}

// Decimal digits only: "0x10", "-1" and "+3" are refused, not converted.
std::optional<unsigned> Number(const std::string& text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  unsigned v = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  return v;
}

// A usage error with its one-line reason.
struct Refusal {
  std::string reason;
};

// The option texts as given; checked after the parse so that every refusal
// names the value in our own words.
struct RawOptions {
  std::string port, baud, addr, ini, demo, journal;
};

struct CommandSpec {
  CliCommand command;
  const char* name;
  bool readOptions;  // --addr, --ini, --demo, --json besides --port/--baud
  bool portOptions;
};

constexpr CommandSpec kCommands[] = {
    {CliCommand::Read, "read", true, true},
    {CliCommand::Ports, "ports", false, false},
    {CliCommand::Monitor, "monitor", false, true},
};

// An option given without a value, or with the next option in its place
// ("--port --json" is a forgotten value, not a device called "--json").
void CheckValue(const CLI::Option* option, const std::string& value) {
  if (option->count() > 0 && (value.empty() || value.rfind("--", 0) == 0))
    throw Refusal{"option " + option->get_name() + " needs a value"};
}

bool Given(CLI::App& sub, const char* name) {
  const CLI::Option* option = sub.get_option_no_throw(name);
  return option && option->count() > 0;
}

void Apply(const CommandSpec& spec, CLI::App& sub, const RawOptions& raw, CliOptions& o) {
  for (const char* name : {"--port", "--baud", "--addr", "--ini", "--demo"}) {
    const CLI::Option* option = sub.get_option_no_throw(name);
    if (!option) continue;
    const std::string& v = name[2] == 'p'   ? raw.port
                           : name[2] == 'b' ? raw.baud
                           : name[2] == 'a' ? raw.addr
                           : name[2] == 'i' ? raw.ini
                                            : raw.demo;
    CheckValue(option, v);
  }
  if (Given(sub, "--port")) o.port = raw.port;
  if (Given(sub, "--baud")) {
    auto b = Number(raw.baud);
    const bool readSpeed = b && (*b == 9600 || *b == 19200);
    if (!b || *b == 0 || (spec.command != CliCommand::Monitor && !readSpeed))
      throw Refusal{"baud rate " + raw.baud + " is not supported (use 9600 or 19200)"};
    o.baud = b;
  }
  if (Given(sub, "--addr")) {
    auto n = Number(raw.addr);
    if (!n || *n > 127) throw Refusal{"address " + raw.addr + " is out of range (0 to 127)"};
    o.addr = *n;
  }
  if (Given(sub, "--ini")) o.ini = raw.ini;
  if (const CLI::Option* journal = sub.get_option_no_throw("--journal"))
    CheckValue(journal, raw.journal);
  if (Given(sub, "--journal")) o.journalDir = raw.journal;
  if (Given(sub, "--demo")) {
    if (!KnownModel(raw.demo))
      throw Refusal{"unknown model '" + raw.demo + "' (" + DemoModelList() + ")"};
    o.demo = raw.demo;
  }
  if (o.port && o.demo) throw Refusal{"--port and --demo exclude each other"};
  if (o.port && !ComPortNumber(*o.port) && o.port->rfind("COM", 0) == 0)
    throw Refusal{"port " + *o.port + " is not a valid port (COM1 to COM255 or a device path)"};
}

// CLI11's own words, on one line.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  while (!text.empty() && text.back() == ' ')
    text.pop_back();
  return text;
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
  if (args[0] == "history" || args[0] == "journal") return ParseJournalCli(args, error);
  CLI::App app{"calibrate-cli"};
  app.set_help_flag();
  app.require_subcommand(1);
  RawOptions raw;
  bool help = false;
  for (const CommandSpec& spec : kCommands) {
    CLI::App* sub = app.add_subcommand(spec.name);
    sub->set_help_flag();
    sub->add_flag("-h,--help", help);
    if (spec.portOptions) {
      sub->add_option("--port", raw.port);
      sub->add_option("--baud", raw.baud);
      sub->add_flag("--trace", o.trace);
    }
    if (spec.readOptions) {
      sub->add_option("--addr", raw.addr);
      sub->add_option("--ini", raw.ini);
      sub->add_option("--demo", raw.demo);
      sub->add_flag("--json", o.json);
      sub->add_option("--journal", raw.journal);
      sub->add_flag("--no-journal", o.noJournal);
    }
  }
  // CLI11 takes its arguments last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
    for (const CommandSpec& spec : kCommands) {
      CLI::App* sub = app.get_subcommand(spec.name);
      if (!sub->parsed()) continue;
      o.command = spec.command;
      if (help) {
        o.command = CliCommand::Help;
        o.helpTopic = spec.name;
        return o;
      }
      Apply(spec, *sub, raw, o);
    }
  } catch (const Refusal& r) {
    error = r.reason;
    return std::nullopt;
  } catch (const CLI::ParseError& e) {
    const bool unknownCommand =
        std::none_of(std::begin(kCommands), std::end(kCommands),
                     [&](const CommandSpec& c) { return args[0] == c.name; });
    error = unknownCommand ? "unknown command '" + args[0] + "' (expected read, ports or monitor)"
                           : OneLine(args[0] + ": " + e.what());
    return std::nullopt;
  }
  return o;
}

std::string CliHelp(const std::string& command) {
  if (command == "read")
    return "usage: calibrate-cli read [--port COMn|PATH] [--baud 9600|19200] [--addr N]\n"
           "                          [--ini FILE] [--json] [--demo MODEL] [--trace]\n"
           "                          [--journal DIR | --no-journal]\n"
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
           "  --journal DIR     record the read in the service journal in DIR\n"
           "  --no-journal      do not record it, though [Journal] Enabled=1\n"
           "\n"
           "Exit status: 0 read, 1 a field shows ERR or the record read failed, 2 usage\n"
           "error, 3 the port cannot be opened, 4 no meter recognised.\n";
  if (command == "history")
    return "usage: calibrate-cli history [SERIAL] [--json] [--journal DIR] [--ini FILE]\n"
           "\n"
           "Lists the meters in the service journal, or the events of the meter with\n"
           "serial number SERIAL newest first. The folder: --journal, else [Journal] Dir\n"
           "of the settings file (default: the folder journal beside it).\n";
  if (command == "journal")
    return "usage: calibrate-cli journal verify [FILE|--all] [--json] [--journal DIR] [--ini "
           "FILE]\n"
           "\n"
           "Checks the chain of one journal file, or of every meter's file in the folder.\n"
           "Names the first broken line of each file; exit status 1 when any is broken.\n";
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
         "  history   the meters in the service journal, or one meter's events\n"
         "  journal   journal verify: check the journal's chains\n"
         "\n"
         "calibrate-cli <command> --help shows the options of a command.\n";
}
