#include "CliOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "JournalCommands.h"
#include "app/core/PortSpec.h"
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
  std::string channel, k0, ku, seal, file, serial, saveDir;
  std::vector<std::string> k, obr;
  std::string interval, count;
};

struct CommandSpec {
  CliCommand command;
  const char* name;
  bool readOptions;  // --addr, --ini, --demo, --json besides --port/--baud
  bool portOptions;
  bool writes = false;  // --expect-serial, --yes, --save-dir
  bool records = true;  // --json, --journal, --no-journal with the read's options
};

constexpr CommandSpec kCommands[] = {
    {CliCommand::Read, "read", true, true},
    {CliCommand::Snapshot, "snapshot", true, true},
    {CliCommand::Ports, "ports", false, false},
    {CliCommand::Monitor, "monitor", false, true},
    {CliCommand::Scan, "scan", false, false},
    {CliCommand::Diagnose, "diagnose", true, true},
    {CliCommand::Write, "write", true, true, true},
    {CliCommand::Reset, "reset", true, true, true},
    {CliCommand::Seal, "seal", true, true, true},
    {CliCommand::Clock, "clock", true, true, true},
    {CliCommand::Restore, "restore", true, true, true},
    {CliCommand::Watch, "watch", true, true, false, false},
};

// The shortest time between two samples of watch.
constexpr unsigned kMinWatchIntervalMs = 100;

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

// A value as the meter stores it: a whole decimal text, finite.
float StoredValue(const std::string& what, const std::string& text) {
  char* end = nullptr;
  const float v = std::strtof(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(v))
    throw Refusal{what + " = '" + text + "' is not a finite number"};
  return v;
}

// "I=X": index 2..9 (0 and 1 are --k0 and --ku) and a stored value.
CliCoef PointValue(bool obr, unsigned channel, const std::string& text) {
  const std::string what = obr ? "--obr" : "--k";
  const size_t eq = text.find('=');
  const auto index = Number(eq == std::string::npos ? text : text.substr(0, eq));
  if (eq == std::string::npos || !index || *index > 9)
    throw Refusal{what + " " + text + ": expected INDEX=VALUE with an index 0..9"};
  return {obr, channel, *index, StoredValue(what, text.substr(eq + 1))};
}

void ApplyWrite(CLI::App& sub, const RawOptions& raw, CliOptions& o) {
  if (Given(sub, "--expect-serial")) o.expectSerial = raw.serial;
  if (Given(sub, "--save-dir")) o.saveDir = raw.saveDir;
  if (o.command == CliCommand::Seal) {
    if (!Given(sub, "--text")) throw Refusal{"seal needs --text TEXT"};
    o.sealText = raw.seal;
  }
  if (o.command == CliCommand::Clock && !o.clockSet) throw Refusal{"clock needs --set"};
  if (o.command == CliCommand::Restore) o.imageFile = raw.file;
  if (o.command != CliCommand::Write) return;
  const auto channel = Number(raw.channel);
  if (!channel || *channel < 1 || *channel > 2) throw Refusal{"write needs --channel 1 or 2"};
  if (Given(sub, "--k0")) o.coefs.push_back({false, *channel, 0, StoredValue("--k0", raw.k0)});
  if (Given(sub, "--ku")) o.coefs.push_back({false, *channel, 1, StoredValue("--ku", raw.ku)});
  for (const std::string& k : raw.k)
    o.coefs.push_back(PointValue(false, *channel, k));
  for (const std::string& obr : raw.obr)
    o.coefs.push_back(PointValue(true, *channel, obr));
  if (o.coefs.empty()) throw Refusal{"write needs at least one of --k0, --ku, --k, --obr"};
}

void ApplyWatch(CLI::App& sub, const RawOptions& raw, CliOptions& o) {
  CheckValue(sub.get_option("--interval"), raw.interval);
  CheckValue(sub.get_option("--count"), raw.count);
  if (Given(sub, "--interval")) {
    const auto ms = Number(raw.interval);
    if (!ms || *ms < kMinWatchIntervalMs)
      throw Refusal{"interval " + raw.interval + " is not a number of ms, at least " +
                    std::to_string(kMinWatchIntervalMs)};
    o.watch.intervalMs = *ms;
  }
  if (Given(sub, "--count")) {
    const auto n = Number(raw.count);
    if (!n || *n == 0)
      throw Refusal{"count " + raw.count + " is not a number of samples, 1 or more"};
    o.watch.count = n;
  }
}

// A meter's network address, 0..127.
unsigned Address(const std::string& text) {
  auto n = Number(text);
  if (!n || *n > 127) throw Refusal{"address " + text + " is out of range (0 to 127)"};
  return *n;
}

void Apply(const CommandSpec& spec, CLI::App& sub, const RawOptions& raw, CliOptions& o) {
  for (auto [name, value] : {std::pair{"--port", &raw.port},
                             {"--baud", &raw.baud},
                             {"--addr", &raw.addr},
                             {"--ini", &raw.ini},
                             {"--demo", &raw.demo}})
    if (const CLI::Option* option = sub.get_option_no_throw(name)) CheckValue(option, *value);
  if (Given(sub, "--port")) o.port = raw.port;
  if (Given(sub, "--baud")) {
    auto b = Number(raw.baud);
    const bool readSpeed = b && (*b == 9600 || *b == 19200);
    if (!b || *b == 0 || (spec.command != CliCommand::Monitor && !readSpeed))
      throw Refusal{"baud rate " + raw.baud + " is not supported (use 9600 or 19200)"};
    o.baud = b;
  }
  if (Given(sub, "--addr")) o.addr = Address(raw.addr);
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

// The scan's own option texts.
struct RawScan {
  std::string port, bauds, from, to, protocols, ini, demo;
};

// Each scan option with the text it takes.
std::array<std::pair<const char*, std::string*>, 7> ScanFields(RawScan& raw) {
  return {{{"--port", &raw.port},
           {"--baud", &raw.bauds},
           {"--from", &raw.from},
           {"--to", &raw.to},
           {"--protocol", &raw.protocols},
           {"--ini", &raw.ini},
           {"--demo", &raw.demo}}};
}

void AddScanOptions(CLI::App& sub, RawScan& raw, CliOptions& o) {
  for (auto [name, value] : ScanFields(raw))
    sub.add_option(name, *value);
  sub.add_flag("--json", o.json);
  sub.add_flag("--csv", o.scan.csv);
}

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> items;
  size_t start = 0;
  for (size_t comma; (comma = list.find(',', start)) != std::string::npos; start = comma + 1)
    items.push_back(list.substr(start, comma - start));
  items.push_back(list.substr(start));
  return items;
}

void ApplyScan(CLI::App& sub, RawScan& raw, CliOptions& o) {
  for (auto [name, value] : ScanFields(raw))
    CheckValue(sub.get_option(name), *value);
  if (Given(sub, "--baud")) {
    o.scan.bauds.clear();
    for (const std::string& b : Split(raw.bauds)) {
      auto n = Number(b);
      if (!n || (*n != 9600 && *n != 19200))
        throw Refusal{"baud rate " + b + " is not supported (use 9600 or 19200)"};
      o.scan.bauds.push_back(*n);
    }
  }
  if (Given(sub, "--from")) o.scan.from = Address(raw.from);
  if (Given(sub, "--to")) o.scan.to = Address(raw.to);
  if (o.scan.from > o.scan.to) throw Refusal{"--from is above --to"};
  if (Given(sub, "--protocol")) {
    o.scan.threeX = o.scan.modbus = false;
    for (const std::string& p : Split(raw.protocols)) {
      if (p == "3x")
        o.scan.threeX = true;
      else if (p == "modbus")
        o.scan.modbus = true;
      else
        throw Refusal{"unknown protocol '" + p + "' (3x, modbus)"};
    }
  }
  if (o.json && o.scan.csv) throw Refusal{"--json and --csv exclude each other"};
  // --port, --ini and --demo as the read takes them.
  RawOptions shared;
  shared.port = raw.port;
  shared.ini = raw.ini;
  shared.demo = raw.demo;
  CLI::App only;
  for (const char* name : {"--port", "--ini", "--demo"})
    if (Given(sub, name)) only.add_option(name)->add_result(sub.get_option(name)->results());
  Apply({CliCommand::Scan, "scan", false, false}, only, shared, o);
}

// CLI11's own words, on one line.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  while (!text.empty() && text.back() == ' ')
    text.pop_back();
  return text;
}

}  // namespace

std::optional<CliOptions> ParseCli(const std::vector<std::string>& args, std::string& error) {
  CliOptions o;
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    o.command = CliCommand::Help;
    if (args.size() > 1) o.helpTopic = args[1];
    return o;
  }
  if (args.size() == 1 && args[0] == "--version") {
    o.command = CliCommand::Version;
    return o;
  }
  if (args[0] == "history" || args[0] == "journal" || args[0] == "compare" || args[0] == "report")
    return ParseJournalCli(args, error);
  CLI::App app{"calibrate-cli"};
  // "/tmp/x.json" is a file, not a Windows-style option "/tmp", on Windows too.
  app.allow_windows_style_options(false);
  app.set_help_flag();
  app.require_subcommand(1);
  RawOptions raw;
  RawScan rawScan;
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
    if (spec.command == CliCommand::Scan) AddScanOptions(*sub, rawScan, o);
    if (spec.readOptions) {
      sub->add_option("--addr", raw.addr);
      sub->add_option("--ini", raw.ini);
      sub->add_option("--demo", raw.demo);
      sub->add_flag("--echo", o.echo);
    }
    if (spec.readOptions && spec.records) {
      sub->add_flag("--json", o.json);
      sub->add_option("--journal", raw.journal);
      sub->add_flag("--no-journal", o.noJournal);
    }
    if (spec.command == CliCommand::Watch) {
      sub->add_option("--interval", raw.interval);
      sub->add_option("--count", raw.count);
      sub->add_flag("--csv", o.watch.csv);
    }
    if (spec.writes) {
      sub->add_option("--expect-serial", raw.serial);
      sub->add_flag("--yes", o.yes);
      sub->add_option("--save-dir", raw.saveDir);
    }
    if (spec.command == CliCommand::Write) {
      sub->add_option("--channel", raw.channel);
      sub->add_option("--k0", raw.k0);
      sub->add_option("--ku", raw.ku);
      sub->add_option("--k", raw.k);
      sub->add_option("--obr", raw.obr);
    }
    if (spec.command == CliCommand::Seal) sub->add_option("--text", raw.seal);
    if (spec.command == CliCommand::Clock) sub->add_flag("--set", o.clockSet);
    if (spec.command == CliCommand::Restore) sub->add_option("file", raw.file)->required();
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
      if (spec.command == CliCommand::Scan)
        ApplyScan(*sub, rawScan, o);
      else
        Apply(spec, *sub, raw, o);
      if (spec.writes) ApplyWrite(*sub, raw, o);
      if (spec.command == CliCommand::Watch) ApplyWatch(*sub, raw, o);
    }
  } catch (const Refusal& r) {
    error = r.reason;
    return std::nullopt;
  } catch (const CLI::ParseError& e) {
    const bool unknownCommand =
        std::none_of(std::begin(kCommands), std::end(kCommands),
                     [&](const CommandSpec& c) { return args[0] == c.name; });
    error = unknownCommand ? "unknown command '" + args[0] +
                                 "' (expected read, snapshot, ports, monitor, scan, diagnose, "
                                 "write, reset, seal, clock, restore or watch)"
                           : OneLine(args[0] + ": " + e.what());
    return std::nullopt;
  }
  return o;
}

std::string DiagnoseHelp() {
  return "usage: calibrate-cli diagnose [--port COMn|PATH] [--baud B] [--addr N] [--ini FILE]\n"
         "                              [--echo] [--trace]\n"
         "\n"
         "Probes the line with identification requests only (3x and ModBus, at 9600 and\n"
         "19200 baud or at --baud alone) and says what it saw: no such port, no\n"
         "permission, port busy, the echo of a two-wire adapter, bytes that never make\n"
         "a reply, or silence, with what to check. Exit status 0 when a meter answered.\n";
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
           "  --ini FILE        settings file (default: the one named below)\n"
           "  --json            one JSON object instead of text\n"
           "  --demo MODEL      read a virtual meter: " +
           DemoModelList() +
           "\n"
           "                    (bus: meters at addresses 1, 5 and 17; --addr picks one)\n"
           "  --trace           print every byte sent and received on stderr\n"
           "  --echo            the line returns each request (two-wire RS-485): skip it\n"
           "  --journal DIR     record the read in the service journal in DIR\n"
           "  --no-journal      do not record it, though [Journal] Enabled=1\n"
           "\n"
           "Exit status: 0 read, 1 a field shows ERR or the record read failed, 2 usage\n"
           "error, 3 the port cannot be opened, 4 no meter recognised.\n";
  if (command == "snapshot")
    return "usage: calibrate-cli snapshot [--port COMn|PATH] [--baud 9600|19200] [--addr N]\n"
           "                              [--ini FILE] [--json] [--demo MODEL] [--trace]\n"
           "\n"
           "Identifies a meter as the read does, then reads everything its driver can read,\n"
           "without writing anything: K and Obr, indexes 0 to 9, of each channel with the\n"
           "meter's own bytes, Gmax, the present values G and SFR, the serial number, the\n"
           "firmware version the meter reports (checked against firmware.ini when that\n"
           "gives the model's version), the meter's clock and the calibration record.\n"
           "--json writes the snapshot as a file keeps it (\"schema\": 1).\n"
           "\n"
           "Options as for read.\n"
           "\n"
           "Exit status: 0 every item read, 1 an item could not be read, 2 usage error,\n"
           "3 the port cannot be opened, 4 no meter recognised.\n";
  if (command == "diagnose") return DiagnoseHelp();
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
  if (command == "compare")
    return "usage: calibrate-cli compare A B [--json] [--journal DIR] [--ini FILE]\n"
           "       calibrate-cli compare --last [SERIAL] [--json] [--journal DIR] [--ini FILE]\n"
           "\n"
           "Lists every field that differs between two states of a meter, with both values,\n"
           "the difference and, for numbers, the difference in % of the first value. A and B\n"
           "are files (a snapshot --json, a read --json) or journal events: an event id as\n"
           "history shows it (its first 4 digits or more will do) or last, the newest event.\n"
           "--last compares the newest read or snapshot of the meter (SERIAL; default: the\n"
           "meter of the journal's newest event) with its previous visit: the last read or\n"
           "snapshot of an earlier session. Coefficients, Gmax, the calibration record, the\n"
           "serial number and firmware are compared; present values and clocks are not.\n"
           "\n"
           "Exit status: 0 no difference, 1 different, 2 usage error or a file that is no\n"
           "read or snapshot, 4 nothing to compare (no such event or meter, no earlier visit).\n";
  if (command == "report")
    return "usage: calibrate-cli report [SERIAL] [--session ID|--last] --html FILE [--journal "
           "DIR]\n"
           "                            [--ini FILE]\n"
           "\n"
           "Writes the service report of one session of a meter as an HTML page (Russian):\n"
           "the meter, its firmware against the reference, the coefficients and calibration\n"
           "record as found and as left, every write with its verification, the engineer\n"
           "and a signature line. A session is the run of a meter's events of one run of\n"
           "the window, or of one day of calibrate-cli. --session names it by the id of any\n"
           "of its events; default and --last: the meter's last session. SERIAL may be\n"
           "left out when the journal holds one meter.\n"
           "\n"
           "Exit status: 0 written, 1 the file cannot be written, 2 usage error, 4 no such\n"
           "meter or session.\n";
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
  if (command == "scan")
    return "usage: calibrate-cli scan [--port COMn|PATH] [--baud 9600,19200] [--from A] [--to B]\n"
           "                          [--protocol 3x,modbus] [--json|--csv] [--ini FILE]\n"
           "                          [--demo MODEL]\n"
           "\n"
           "Looks for meters on a line: asks every address for its identification in each\n"
           "protocol at each speed, and a meter that answers twice alike for its serial\n"
           "number. Nothing is written. Progress goes to stderr, the meters found to\n"
           "stdout: address, speed, protocol, identification, model, serial number and\n"
           "reply time in ms. Time-outs: [Scan] PacketTimeout and ByteTimeout.\n"
           "\n"
           "Exit status: 0 a meter found, 2 usage error, 3 the port cannot be opened,\n"
           "4 no meter found.\n";
  if (command == "watch")
    return "usage: calibrate-cli watch [--interval MS] [--count N] [--csv] [--port COMn|PATH]\n"
           "                           [--baud 9600|19200] [--addr N] [--ini FILE] [--demo MODEL]\n"
           "                           [--echo] [--trace]\n"
           "\n"
           "Identifies a meter as the read does, then asks it for the present flow G of\n"
           "each channel every MS milliseconds (default 1000, at least 100) and prints one\n"
           "line per sample, until N samples are taken or Ctrl+C stops it. Nothing is\n"
           "written to the meter.\n"
           "\n"
           "  --csv  a header line, then time_ms,local_time,G1,G2 per sample; a value the\n"
           "         meter did not give is an empty cell\n"
           "\n"
           "Port options as for read. Exit status: 0 stopped or N samples taken, 2 usage\n"
           "error, 3 the port cannot be opened, 4 no meter recognised.\n";
  if (command == "write" || command == "reset" || command == "seal" || command == "clock" ||
      command == "restore")
    return "usage: calibrate-cli write --channel N [--k0 X] [--ku X] [--k I=X ...] [--obr I=X "
           "...]\n"
           "       calibrate-cli reset\n"
           "       calibrate-cli seal --text TEXT\n"
           "       calibrate-cli clock --set\n"
           "       calibrate-cli restore FILE\n"
           "   each with the options of read and [--expect-serial S --yes] [--save-dir DIR]\n"
           "\n"
           "Changes a meter. First reads what will change and saves it as a before-image\n"
           "(DIR, default: before-images beside the settings file), then shows each item's\n"
           "old and new value. Without --expect-serial and --yes nothing is sent (a dry run).\n"
           "With them, and the serial number matching, writes and reads every item back.\n"
           "Values are stored values as the meter keeps them, not the values shown.\n"
           "\n"
           "Exit status: 0 written and verified, or a dry run; 1 an item did not verify; 2 usage\n"
           "error; 3 the port cannot be opened; 4 no meter recognised; 5 refused, nothing\n"
           "written (a value the meter cannot store, a wrong serial number, a before-image\n"
           "that cannot be saved, an image of another meter).\n";
  return "usage: calibrate-cli <command> [options]\n"
         "\n"
         "Commands:\n"
         "  read      read a meter's calibration data\n"
         "  snapshot  read everything a meter's driver can read, writing nothing\n"
         "  ports     list serial devices and the port map\n"
         "  monitor   show the traffic on a line\n"
         "  scan      find the meters on a line\n"
         "  diagnose  find out why no meter answers\n"
         "  write     write coefficients (also: reset, seal, clock, restore)\n"
         "  watch     show a meter's present flow values as they change\n"
         "  history   the meters in the service journal, or one meter's events\n"
         "  journal   journal verify: check the journal's chains\n"
         "  compare   what differs between two snapshots, reads or visits\n"
         "  report    the service report of a session, as HTML\n"
         "\n"
         "calibrate-cli <command> --help shows the options of a command;\n"
         "calibrate-cli --version shows the version.\n";
}
