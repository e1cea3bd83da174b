// calibrate-cli: the meter read of the window, for scripts and terminals.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "Console.h"
#include "JournalCommands.h"
#include "ReadOutput.h"
#include "ScanOutput.h"
#include "SnapshotOutput.h"
#include "WriteCommand.h"
#include "app/core/BusScan.h"
#include "app/core/DevManager.h"
#include "app/core/LineDiagnosis.h"
#include "app/core/LiveValues.h"
#include "app/core/MeterRead.h"
#include "app/core/MeterSnapshotRead.h"
#include "app/core/PortList.h"
#include "app/core/PortMap.h"
#include "app/core/PortSpec.h"
#include "app/core/RecordingView.h"
#include "app/core/Settings.h"
#include "app/core/SettingsPlace.h"
#include "app/core/Version.h"
#include "comm/LumClock.h"
#include "comm/LumSynchronizer.h"
#include "comm/serial/SerialDevice.h"
#include "sim/DemoMode.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;
void OnSignal(int) {
  interrupted = 1;
}

std::string Hex(std::span<const uint8_t> bytes) {
  std::string s;
  char b[4];
  for (uint8_t v : bytes) {
    std::snprintf(b, sizeof b, "%02X ", v);
    s += b;
  }
  return s;
}

TOnTrace TraceToStderr() {
  return [](TraceDirection d, std::span<const uint8_t> bytes) {
    std::fprintf(stderr, "%s %s\n", d == TraceDirection::Sent ? ">>" : "<<", Hex(bytes).c_str());
  };
}

// Beside the bytes, what the engines made of each attempt, as "# ..." lines.
void TraceNoteToStderr(std::string_view note) {
  std::fprintf(stderr, "# %.*s\n", static_cast<int>(note.size()), note.data());
}

// What every command that talks to a meter starts from: the settings of this
// run, the catalogue, the line as a PortSpec, and the virtual meter of --demo.
struct MeterSession {
  explicit MeterSession(const CliOptions& o) : settings(o.ini ? *o.ini : Settings::DefaultPath()) {}
  Settings settings;
  Catalogue catalogue;
  PortSpec spec;
  LineTrace trace;
  std::unique_ptr<DemoMeter> demo;
};

// The port the run talks to: --port, else the window's saved port (COM1..COM32,
// as its list offers them).
std::string ChosenPort(const std::optional<std::string>& port, const Settings& settings) {
  if (port) return *port;
  const int saved = settings.Port();
  return saved >= 1 && saved <= 32 ? "COM" + std::to_string(saved) : "";
}

// False, with the reason on standard error, when the virtual meter of --demo
// cannot be started.
bool OpenSession(const CliOptions& o, MeterSession& s, unsigned defaultBaud = 0) {
  s.catalogue.delays = s.settings.LoadDelays();
  s.catalogue.verTable = LoadVerTable(FirmwareIniPath());
  if (o.trace) s.trace = {TraceToStderr(), TraceNoteToStderr};
  const unsigned baud = o.baud                   ? *o.baud
                        : defaultBaud            ? defaultBaud
                        : s.settings.Baud() == 0 ? 9600u
                                                 : 19200u;
  const bool echo = o.echo || s.settings.EchoSuppression();
  if (!o.demo) {
    s.spec = MakePortSpec(ChosenPort(o.port, s.settings), baud, o.addr, echo, s.settings.Ini());
    return true;
  }
  std::string error;
  s.demo = StartDemoMeter(*o.demo, static_cast<uint8_t>(o.addr), baud, error);
  if (!s.demo) {
    std::cerr << "calibrate-cli: cannot start the virtual meter: " << error << "\n";
    return false;
  }
  s.spec = {s.demo->Device(), "COM1", baud, static_cast<uint8_t>(o.addr), echo};
  return true;
}

int RunRead(const CliOptions& o) {
  MeterSession s(o);
  if (!OpenSession(o, s)) return Code(ExitStatus::PortError);
  TMeterRead read(s.catalogue);
  read.SetOnTrace(s.trace);
  RecordingView view;
  const MeterReading reading = read.BRefreshClick(view, s.spec);
  for (size_t i = 0; i < view.errors.size(); ++i)
    std::cerr << "Ошибка: " << view.errors[i] << "\n" << view.details[i];
  std::cout << (o.json ? ReadAsJson(reading) : ReadAsText(reading)) << std::flush;
  JournalTheRead(o, s.settings, reading);
  return Code(ReadExitStatus(reading));
}

int RunSnapshot(const CliOptions& o) {
  MeterSession s(o);
  if (!OpenSession(o, s)) return Code(ExitStatus::PortError);
  const MeterSnapshot snapshot = TakeSnapshot(s.spec, s.catalogue, s.trace);
  if (snapshot.result == ReadResult::PortError)
    std::cerr << "Ошибка: " << kPortOpenError << s.spec.name << "\n";
  if (snapshot.result == ReadResult::NotFound) std::cerr << "Ошибка: " << kNotFoundError << "\n";
  std::cout << (o.json ? SnapshotAsJson(snapshot) : SnapshotAsText(snapshot)) << std::flush;
  JournalTheSnapshot(o, s.settings, snapshot);
  return Code(SnapshotExitStatus(snapshot));
}

int RunWrite(const CliOptions& o) {
  MeterSession s(o);
  std::string error;
  const auto request = WriteRequestOf(o, s.settings.Path(), error);
  if (!request) {
    std::cerr << "calibrate-cli: " << error << "\n";
    return Code(ExitStatus::Refused);
  }
  if (!OpenSession(o, s)) return Code(ExitStatus::PortError);
  CliWriteView view(o.expectSerial, o.yes, o.json);
  const WriteOutcome outcome = RunGuardedWrite(s.spec, s.catalogue, *request, view, s.trace);
  PrintWriteOutcome(outcome, request->kind, o.json);
  std::cout << std::flush;
  const JournalPlace place{s.spec.name, static_cast<int>(s.spec.baud), s.spec.address};
  JournalTheWrite(o, s.settings, request->kind, outcome, place);
  return WriteExitCode(outcome.status);
}

// "09:22:24.123  +2.000 s  G1 = 12.5  G2 = нет ответа".
std::string WatchLine(const LiveSample& s) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "+%llu.%03u s",
                static_cast<unsigned long long>(s.ms / 1000), static_cast<unsigned>(s.ms % 1000));
  const std::string time = LiveLocalTime(s);
  std::string line = (time.size() > 11 ? time.substr(11) : time) + "  " + seconds;
  for (size_t ch = 0; ch < s.channels && ch < 2; ++ch)
    line += "  G" + std::to_string(ch + 1) + " = " +
            (s.ok[ch] ? LiveValueText(s.value[ch]) : std::string("нет ответа"));
  return line + "\n";
}

// Waits until the computer's clock reaches dueMs or Ctrl+C is pressed; false
// on Ctrl+C.
bool WaitUntil(uint64_t dueMs) {
  while (!Interrupted()) {
    const uint64_t now = NowMs();
    if (now >= dueMs) return true;
    SleepMs(static_cast<uint32_t>(std::min<uint64_t>(dueMs - now, 20)));
  }
  return false;
}

int RunWatch(const CliOptions& o) {
  MeterSession s(o);
  if (!OpenSession(o, s)) return Code(ExitStatus::PortError);
  CatchInterrupt();
  TLiveValues live(s.catalogue, s.trace);
  const LiveStartResult start = live.Start(s.spec);
  if (start.result != LiveStart::Ok) {
    std::cerr << "Ошибка: " << start.message << "\n";
    return Code(start.result == LiveStart::PortError ? ExitStatus::PortError
                                                     : ExitStatus::NotFound);
  }
  std::cerr << start.model << ", " << static_cast<unsigned>(start.channels)
            << (start.channels == 1 ? " channel" : " channels") << "; Ctrl+C stops.\n";
  if (o.watch.csv) std::cout << LiveCsvHeader() << std::flush;
  // Samples fall due at fixed times from the first, so that a slow reply does
  // not shift every later one; the times a silent meter's time-outs overran
  // are skipped, not made up in a burst.
  const uint64_t interval = o.watch.intervalMs;
  uint64_t due = NowMs();
  for (uint64_t n = 0; !o.watch.count || n < *o.watch.count; ++n) {
    if (!WaitUntil(due)) break;
    const LiveSample sample = live.Poll();
    std::cout << (o.watch.csv ? LiveCsvRow(sample) : WatchLine(sample)) << std::flush;
    due += interval;
    if (const uint64_t now = NowMs(); due < now) due += ((now - due) / interval + 1) * interval;
  }
  live.Stop();
  return Code(ExitStatus::Ok);
}

int RunPorts() {
  const auto devices = ListSerialDevices();
  std::cout << "Serial devices:\n";
  if (devices.empty()) std::cout << "  (none found)\n";
  for (const auto& d : devices) {
    std::cout << "  " << d.name << (d.description.empty() ? "" : "  (" + d.description + ")")
              << "\n";
    // The by-id link keeps naming the same adapter whatever USB port it is in.
    if (!d.stableLink.empty())
      std::cout << "      stable name for [Ports]: " << d.stableLink << "\n";
  }
  Settings settings(Settings::DefaultPath());
  if (!kPortMapInUse) {
    std::cout << "COMn opens " << DefaultSerialPortName(1).substr(0, 7)
              << "n; settings: " << settings.Path() << "\n";
    std::cout << "Journal: " << DefaultJournalDir() << "\n";
    return Code(ExitStatus::Ok);
  }
  std::cout << "Port map (" << settings.Path() << ", [Ports]):\n";
  bool any = false;
  for (int n = 1; n <= 255; ++n) {
    auto path = settings.Ini().ReadString("Ports", "COM" + std::to_string(n));
    if (path && !path->empty()) {
      std::cout << "  COM" << n << " = " << *path << "\n";
      any = true;
    }
  }
  if (!any)
    std::cout << "  (no entries; COMn opens " << DefaultSerialPortName(1).substr(0, 9)
              << "{n-1})\n";
  std::cout << "Settings file: " << settings.Path() << "\nJournal: " << DefaultJournalDir() << "\n";
  return Code(ExitStatus::Ok);
}

int RunDiagnose(const CliOptions& o) {
  MeterSession s(o);
  if (!OpenSession(o, s, 9600)) return Code(ExitStatus::PortError);
  TlumComPort port;
  if (o.trace) port.SetOnTrace(s.trace.bytes);
  port.SetDevice(s.spec.device);
  DiagnoseRequest asked;
  if (o.baud) asked.bauds = {*o.baud};
  asked.addresses = {o.addr};
  asked.echoSuppression = s.spec.echo;
  std::cerr << "Опрос " << port.DeviceName() << "...\n";
  const LineDiagnosis d = DiagnoseLine(port, asked);
  std::cout << d.text;
  if (!d.portOpened) return Code(ExitStatus::PortError);
  const bool answered = std::any_of(d.probes.begin(), d.probes.end(), [](const LineProbe& p) {
    return p.cause == LineCause::Answered;
  });
  return Code(answered ? ExitStatus::Ok : ExitStatus::NotFound);
}

std::string TimeStamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  char text[32];
  std::strftime(text, sizeof text, "%H:%M:%S", std::localtime(&t));
  char full[40];
  std::snprintf(full, sizeof full, "%s.%03d", text, static_cast<int>(ms));
  return full;
}

int RunMonitor(const CliOptions& o) {
  Settings settings(Settings::DefaultPath());
  const PortSpec spec = MakePortSpec(ChosenPort(o.port, settings),
                                     o.baud.value_or(settings.Baud() == 0 ? 9600u : 19200u), 0,
                                     false, settings.Ini());
  TlumComPort port;
  port.SetDevice(spec.device);
  port.SetBaudRate(spec.baud);
  port.SetReceiveInThread(true);
  port.SetThreadInterval(10);
  std::vector<uint8_t> burst;
  port.SetOnReceiveByte([&](TlumCustomComPort*, uint8_t b, uint32_t) { burst.push_back(b); });
  port.SetOnReceiveTimeout([&](TlumCustomComPort*, uint32_t tick) {
    if (burst.empty()) return;
    std::cout << TimeStamp() << " #" << tick << "  " << Hex(burst) << std::endl;
    burst.clear();
  });
  if (!port.Open()) {
    std::cerr << "Ошибка: " << kPortOpenError << spec.name << "\n" << ExplainOpenFailure(port);
    return Code(ExitStatus::PortError);
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::cerr << "Listening on " << port.DeviceName() << "; Ctrl+C stops.\n";
  while (!interrupted)
    CheckSynchronize(50);
  port.Close();
  return Code(ExitStatus::Ok);
}

// Progress on one rewritten line of stderr; each meter found on its own.
class ScanProgressLine : public ScanListener {
 public:
  void OnProgress(const ScanProgress& p) override {
    std::fprintf(stderr, "\r%u baud, %s, address %3d, found %zu   ", p.baud,
                 ScanProtocolName(p.protocol), p.address, p.found);
  }
  void OnFound(const FoundMeter& m) override {
    std::fprintf(stderr, "\rfound at %s: %s\n", ScanAddressText(m).c_str(),
                 m.identification.c_str());
  }
  bool Cancelled() override { return interrupted != 0; }
};

int RunScan(const CliOptions& o) {
  MeterSession s(o);
  TBusScan scan;
  scan.VerTable = LoadVerTable(FirmwareIniPath());
  ScanRequest request;
  request.timeouts = s.settings.LoadScanTimeouts();
  request.bauds.assign(o.scan.bauds.begin(), o.scan.bauds.end());
  request.from = static_cast<int>(o.scan.from);
  request.to = static_cast<int>(o.scan.to);
  request.protocols.clear();
  if (o.scan.threeX) request.protocols.push_back(ScanProtocol::ThreeX);
  if (o.scan.modbus) request.protocols.push_back(ScanProtocol::ModBus);
  if (o.demo) {
    // The virtual line does not tell speeds apart: the meters answer at
    // every one the scan tries.
    std::string error;
    s.demo = StartDemoMeter(*o.demo, 1, request.bauds.front(), error);
    if (!s.demo) {
      std::cerr << "calibrate-cli: cannot start the virtual meter: " << error << "\n";
      return Code(ExitStatus::PortError);
    }
    request.port = {s.demo->Device(), "COM1", request.bauds.front(), 0, false};
  } else {
    request.port = MakePortSpec(ChosenPort(o.port, s.settings), 9600, 0, false, s.settings.Ini());
  }
  if (request.port.device.empty()) {
    std::cerr << "Ошибка: no port chosen (--port)\n";
    return Code(ExitStatus::PortError);
  }
  std::signal(SIGINT, OnSignal);
  ScanProgressLine progress;
  const ScanOutcome outcome = scan.Run(request, progress);
  std::fprintf(stderr, "\n");
  if (outcome.result == ScanResult::PortError) {
    std::cerr << "Ошибка: " << outcome.error << "\n";
    return Code(ExitStatus::PortError);
  }
  std::cout << (o.json       ? ScanAsJson(outcome.meters)
                : o.scan.csv ? ScanAsCsv(outcome.meters)
                             : ScanAsText(outcome.meters));
  return Code(outcome.meters.empty() ? ExitStatus::NotFound : ExitStatus::Ok);
}

}  // namespace

int main(int argc, char** argv) {
  const ConsoleText console;
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = ParseCli(args, error);
  if (!options) {
    std::cerr << "calibrate-cli: " << error << "\n";
    return Code(ExitStatus::Usage);
  }
  switch (options->command) {
    case CliCommand::Read:
      return RunRead(*options);
    case CliCommand::Snapshot:
      return RunSnapshot(*options);
    case CliCommand::Ports:
      return RunPorts();
    case CliCommand::Monitor:
      return RunMonitor(*options);
    case CliCommand::Scan:
      return RunScan(*options);
    case CliCommand::Diagnose:
      return RunDiagnose(*options);
    case CliCommand::Write:
    case CliCommand::Reset:
    case CliCommand::Seal:
    case CliCommand::Clock:
    case CliCommand::Restore:
      return RunWrite(*options);
    case CliCommand::History:
      return RunHistory(*options);
    case CliCommand::JournalVerify:
      return RunJournalVerify(*options);
    case CliCommand::Watch:
      return RunWatch(*options);
    case CliCommand::Compare:
      return RunCompare(*options);
    case CliCommand::Report:
      return RunReport(*options);
    case CliCommand::Help:
      std::cout << CliHelp(options->helpTopic) << "\nSettings file: " << Settings::DefaultPath()
                << "\n";
      return Code(ExitStatus::Ok);
    case CliCommand::Version:
      std::cout << "calibrate-cli " << kCalibrateVersion << "\n";
      return Code(ExitStatus::Ok);
  }
  return Code(ExitStatus::Ok);
}
