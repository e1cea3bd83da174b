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
#include "app/core/MeterSnapshotRead.h"
#include "app/core/PortList.h"
#include "app/core/PortMap.h"
#include "app/core/RecordingView.h"
#include "app/core/Settings.h"
#include "app/core/SettingsPlace.h"
#include "app/core/Version.h"
#include "comm/LumClock.h"
#include "comm/LumSynchronizer.h"
#include "comm/serial/SerialDevice.h"
#include "sim/DemoMode.h"

namespace {

// The port number the window would use: COMn is n, a device path is bound to a
// spare number for this run.
constexpr uint8_t kPathPort = 255;

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

// Resolves --port (or the saved port) to the window's choice of port number
// and name.
void ChoosePort(const std::optional<std::string>& port, const Settings& settings,
                ReadRequest& request) {
  if (!port) {
    const int saved = settings.Port();
    const bool listed = saved >= 1 && saved <= 32;  // the window offers COM1..COM32
    request.portIndex = listed ? saved - 1 : -1;
    request.portText = listed ? "COM" + std::to_string(saved) : "";
  } else if (auto n = ComPortNumber(*port)) {
    request.portIndex = static_cast<int>(*n) - 1;
    request.portText = "COM" + std::to_string(*n);
  } else {
    BindSerialPortPath(kPathPort, *port);
    request.portIndex = kPathPort - 1;
    request.portText = *port;
  }
}

void EnableTrace(TlumComPort& port) {
  port.SetOnTrace([](TraceDirection d, std::span<const uint8_t> bytes) {
    std::fprintf(stderr, "%s %s\n", d == TraceDirection::Sent ? ">>" : "<<", Hex(bytes).c_str());
  });
}

// What read and snapshot share: the settings, the read's components, the
// request, and the virtual meter of --demo.
struct MeterSession {
  TMeterRead read;
  ReadRequest request;
  std::unique_ptr<DemoMeter> demo;
};

// False, with the reason on standard error, when the virtual meter of --demo
// cannot be started.
bool OpenSession(const CliOptions& o, MeterSession& s) {
  Settings settings(o.ini ? *o.ini : Settings::DefaultPath());
  LoadPortMap(settings.Ini());
  s.read.Delays = settings.LoadDelays();
  s.read.VerTable = LoadVerTable(FirmwareIniPath());
  if (o.trace) EnableTrace(s.read.lumComPort);
  s.read.EchoSuppression = o.echo || settings.EchoSuppression();

  s.request.netAddr = static_cast<int>(o.addr);
  s.request.baudIndex = o.baud ? (*o.baud == 9600 ? 0 : 1) : settings.Baud();
  if (!o.demo) {
    ChoosePort(o.port, settings, s.request);
    return true;
  }
  std::string error;
  const unsigned baud = s.request.baudIndex == 0 ? 9600 : 19200;
  s.demo = StartDemoMeter(*o.demo, 1, static_cast<uint8_t>(o.addr), baud, error);
  if (!s.demo) {
    std::cerr << "calibrate-cli: cannot start the virtual meter: " << error << "\n";
    return false;
  }
  s.request.portIndex = 0;
  s.request.portText = "COM1";
  return true;
}

int RunRead(const CliOptions& o) {
  MeterSession s;
  if (!OpenSession(o, s)) return Code(ExitStatus::PortError);
  RecordingView view;
  const MeterReading reading = s.read.BRefreshClick(view, s.request);
  for (size_t i = 0; i < view.errors.size(); ++i)
    std::cerr << "Ошибка: " << view.errors[i] << "\n" << view.details[i];
  std::cout << (o.json ? ReadAsJson(reading) : ReadAsText(reading)) << std::flush;
  Settings settings(o.ini ? *o.ini : Settings::DefaultPath());
  JournalTheRead(o, settings, reading);
  return Code(ReadExitStatus(reading));
}

int RunSnapshot(const CliOptions& o) {
  MeterSession s;
  if (!OpenSession(o, s)) return Code(ExitStatus::PortError);
  const MeterSnapshot snapshot = TMeterSnapshot(s.read).Take(s.request);
  if (snapshot.result == ReadResult::PortError)
    std::cerr << "Ошибка: " << kPortOpenError << s.request.portText << "\n";
  if (snapshot.result == ReadResult::NotFound) std::cerr << "Ошибка: " << kNotFoundError << "\n";
  std::cout << (o.json ? SnapshotAsJson(snapshot) : SnapshotAsText(snapshot)) << std::flush;
  Settings settings(o.ini ? *o.ini : Settings::DefaultPath());
  JournalTheSnapshot(o, settings, snapshot);
  return Code(SnapshotExitStatus(snapshot));
}

int RunWrite(const CliOptions& o) {
  Settings settings(o.ini ? *o.ini : Settings::DefaultPath());
  std::string error;
  const auto request = WriteRequestOf(o, settings.Path(), error);
  if (!request) {
    std::cerr << "calibrate-cli: " << error << "\n";
    return Code(ExitStatus::Refused);
  }
  MeterSession s;
  if (!OpenSession(o, s)) return Code(ExitStatus::PortError);
  CliWriteView view(o.expectSerial, o.yes, o.json);
  const WriteOutcome outcome = RunGuardedWrite(s.read, s.request, *request, view);
  PrintWriteOutcome(outcome, request->kind, o.json);
  std::cout << std::flush;
  const JournalPlace place{s.request.portText, s.request.baudIndex == 0 ? 9600 : 19200,
                           s.request.netAddr};
  JournalTheWrite(o, settings, request->kind, outcome, place);
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
  MeterSession s;
  if (!OpenSession(o, s)) return Code(ExitStatus::PortError);
  CatchInterrupt();
  TLiveValues live(s.read);
  const LiveStartResult start = live.Start(s.request);
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
  Settings settings(o.ini ? *o.ini : Settings::DefaultPath());
  LoadPortMap(settings.Ini());
  ReadRequest request;
  std::unique_ptr<DemoMeter> demo;
  if (o.demo) {
    std::string error;
    demo = StartDemoMeter(*o.demo, 1, static_cast<uint8_t>(o.addr), o.baud.value_or(9600), error);
    if (!demo) {
      std::cerr << "calibrate-cli: cannot start the virtual meter: " << error << "\n";
      return Code(ExitStatus::PortError);
    }
    request.portIndex = 0;
  } else {
    ChoosePort(o.port, settings, request);
  }
  TlumComPort port;
  if (o.trace) EnableTrace(port);
  port.SetComPort(static_cast<uint8_t>(request.portIndex < 0 ? 0 : request.portIndex + 1));
  DiagnoseRequest asked;
  if (o.baud) asked.bauds = {*o.baud};
  asked.addresses = {o.addr};
  asked.echoSuppression = o.echo || settings.EchoSuppression();
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
  LoadPortMap(settings.Ini());
  ReadRequest request;
  ChoosePort(o.port, settings, request);
  TlumComPort port;
  port.SetComPort(static_cast<uint8_t>(request.portIndex + 1));
  port.SetBaudRate(o.baud.value_or(settings.Baud() == 0 ? 9600u : 19200u));
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
    std::cerr << "Ошибка: Не удалось открыть порт " << request.portText << "\n"
              << ExplainOpenFailure(port);
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
  Settings settings(o.ini ? *o.ini : Settings::DefaultPath());
  LoadPortMap(settings.Ini());
  TBusScan scan;
  scan.VerTable = LoadVerTable(FirmwareIniPath());
  ScanRequest request;
  request.timeouts = settings.LoadScanTimeouts();
  request.bauds.assign(o.scan.bauds.begin(), o.scan.bauds.end());
  request.from = static_cast<int>(o.scan.from);
  request.to = static_cast<int>(o.scan.to);
  request.protocols.clear();
  if (o.scan.threeX) request.protocols.push_back(ScanProtocol::ThreeX);
  if (o.scan.modbus) request.protocols.push_back(ScanProtocol::ModBus);
  std::unique_ptr<DemoMeter> demo;
  ReadRequest port;
  if (o.demo) {
    std::string error;
    // The virtual line does not tell speeds apart: the meters answer at
    // every one the scan tries.
    demo = StartDemoMeter(*o.demo, 1, 1, request.bauds.front(), error);
    if (!demo) {
      std::cerr << "calibrate-cli: cannot start the virtual meter: " << error << "\n";
      return Code(ExitStatus::PortError);
    }
    port.portIndex = 0;
    port.portText = "COM1";
  } else {
    ChoosePort(o.port, settings, port);
  }
  if (port.portIndex < 0) {
    std::cerr << "Ошибка: no port chosen (--port)\n";
    return Code(ExitStatus::PortError);
  }
  request.portNumber = static_cast<uint8_t>(port.portIndex + 1);
  request.portText = port.portText;
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
