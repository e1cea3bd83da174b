// What the command line of calibrate-cli asked for, as typed values. This
// interface is a contract with the scripts of service departments: keep it
// stable. The option groups that several commands share are declared in the
// files beside this one; each command declares the rest itself.
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
  Report,
  Sync,
  Route,
  ReportVerify,
  Calibrate
};

// --port, --baud, --trace, --pcap: the line.
struct LineOptions {
  std::optional<std::string> port;  // "COMn" or a device path
  std::optional<unsigned> baud;     // 9600 or 19200 for a read; monitor takes others
  bool trace = false;
  std::optional<std::string> pcap;  // --pcap FILE: the line's traffic as pcapng
};

// --addr, --ini, --demo, --demo-reset, --echo, --inspector: the meter on the
// line and the settings.
struct MeterOptions {
  unsigned addr = 0;
  std::optional<std::string> ini;
  std::optional<std::string> demo;  // model name
  bool demoReset = false;           // the demo forgets its earlier runs
  bool echo = false;                // the line echoes each request
  bool inspector = false;           // --inspector: nothing is written to a meter
};

// --journal, --no-journal, --engineer: where events go and who is named in
// them, or the folder the journal commands read.
struct JournalOptions {
  std::optional<std::string> journalDir;  // --journal DIR: on for this run
  bool noJournal = false;                 // --no-journal: off for this run
  std::optional<std::string> engineer;    // --engineer NAME: for [Journal] Engineer
};

// One coefficient to write: list "K" or "Obr", channel, index, stored value.
struct CliCoef {
  bool obr = false;
  unsigned channel = 1;
  unsigned index = 0;
  float value = 0;
};

// The writing commands: what to write, and the confirmation.
struct WriteOptions {
  std::vector<CliCoef> coefs;               // write
  std::optional<std::string> sealText;      // seal --text
  bool clockSet = false;                    // clock --set
  std::string imageFile;                    // restore FILE
  std::optional<std::string> expectSerial;  // --expect-serial
  bool yes = false;                         // --yes
  bool acceptWarnings = false;              // --accept-warnings
  unsigned channel = 0;                     // write --channel
  std::optional<std::string> saveDir;       // --save-dir
  std::string reason;                       // --reason: why, for the journal
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

// What route adds to the scan's options: the folder of its files, and
// whether to go on with the route begun there.
struct RouteCliOptions {
  std::string out;
  bool resume = false;
};

// What watch adds: the time between two samples, how many to take (none: until
// interrupted), and CSV, plain or for a Russian spreadsheet.
struct WatchCliOptions {
  unsigned intervalMs = 1000;
  std::optional<unsigned> count;
  bool csv = false;
  bool csvExcel = false;
};

// What calibrate adds: the runs at the bench, the class they are judged by,
// and whether the indicated flow is sampled from the meter.
struct BenchCliOptions {
  std::string runs;                                                 // --runs FILE
  std::string profile;                                              // --profile ID
  std::optional<std::string> q1, q2, q3, ratio, qp, repeatability;  // the profile's flows
  bool sample = false;                   // --sample: indicated from the meter's G
  bool noWait = false;                   // --no-wait: no Enter before each run
  std::vector<std::string> trueFlows;    // --true-flow CH=Q (virtual meters)
  std::vector<std::string> errorCurves;  // --error-curve CH=q:e,... (virtual meters)
};

// sync and journal verify --database: the department's server.
struct DepartmentCliOptions {
  std::optional<std::string> database;  // --database URL; else [Department] Database
  bool useDatabase = false;             // journal verify --database
  bool init = false;                    // sync --init
  bool all = false;                     // sync --all
  std::optional<std::string> serial;    // sync --serial S
};

struct CliOptions : LineOptions, MeterOptions, JournalOptions, WriteOptions {
  CliCommand command = CliCommand::Help;
  bool json = false;
  std::string helpTopic;  // the command whose help was asked for
  ScanCliOptions scan;
  WatchCliOptions watch;
  std::vector<std::string> operands;    // history SERIAL, journal verify FILE, compare A B,
                                        // report SERIAL, report verify FILE
  bool verifyAll = false;               // journal verify --all
  bool lastVisit = false;               // compare --last, report --last
  std::optional<std::string> session;   // report --session ID
  std::optional<std::string> htmlFile;  // report --html FILE
  bool force = false;                   // history, compare, report: a broken journal too
  DepartmentCliOptions department;
  RouteCliOptions route;
  BenchCliOptions bench;
};
