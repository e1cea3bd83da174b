// The command line of calibrate-cli. This interface is a contract with the
// scripts of service departments: keep it stable.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class CliCommand {
  Read,
  Snapshot,
  Ports,
  Monitor,
  Scan,
  Diagnose,
  Help,
  Version,
  Write,
  Reset,
  Seal,
  Clock,
  Restore,
  History,
  JournalVerify,
  Watch,
  Compare,
  Report
};

// What scan adds: the speeds, addresses and protocols to try, and CSV.
struct ScanCliOptions {
  std::vector<unsigned> bauds{9600, 19200};
  unsigned from = 0;
  unsigned to = 127;
  bool threeX = true;
  bool modbus = true;
  bool csv = false;
};

// What watch adds: the time between two samples, how many to take (none: until
// interrupted), and CSV.
struct WatchCliOptions {
  unsigned intervalMs = 1000;
  std::optional<unsigned> count;
  bool csv = false;
};

// One coefficient to write: list "K" or "Obr", channel, index, stored value.
struct CliCoef {
  bool obr = false;
  unsigned channel = 1;
  unsigned index = 0;
  float value = 0;
};

struct CliOptions {
  CliCommand command = CliCommand::Help;
  std::optional<std::string> port;  // "COMn" or a device path
  std::optional<unsigned> baud;     // 9600 or 19200 for a read; monitor takes others
  unsigned addr = 0;
  std::optional<std::string> ini;
  bool json = false;
  bool trace = false;
  bool echo = false;                // read, diagnose: the line echoes each request
  std::optional<std::string> demo;  // model name
  std::string helpTopic;            // the command whose help was asked for
  ScanCliOptions scan;
  WatchCliOptions watch;
  // The writing commands.
  std::vector<CliCoef> coefs;               // write
  std::optional<std::string> sealText;      // seal --text
  bool clockSet = false;                    // clock --set
  std::string imageFile;                    // restore FILE
  std::optional<std::string> expectSerial;  // --expect-serial
  bool yes = false;                         // --yes
  std::optional<std::string> saveDir;       // --save-dir
  std::optional<std::string> journalDir;    // --journal DIR: on for this run
  bool noJournal = false;                   // --no-journal: off for this run
  std::vector<std::string> operands;        // history SERIAL, journal verify FILE|--all,
                                            // compare A B, report SERIAL
  bool lastVisit = false;                   // compare --last, report --last
  std::optional<std::string> session;       // report --session ID
  std::optional<std::string> htmlFile;      // report --html FILE
};

// Parses argv; on a usage error returns nullopt and sets error to a one-line
// reason.
std::optional<CliOptions> ParseCli(const std::vector<std::string>& args, std::string& error);

// The help text of a command ("" for the overview).
std::string CliHelp(const std::string& command);
