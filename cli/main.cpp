// calibrate-cli: the meter read of the window, for scripts and terminals.
#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "Console.h"
#include "JournalCommands.h"
#include "PortList.h"
#include "ReadOutput.h"
#include "app/core/DevManager.h"
#include "app/core/PortMap.h"
#include "app/core/ProgramDir.h"
#include "app/core/RecordingView.h"
#include "app/core/Settings.h"
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

int RunRead(const CliOptions& o) {
  Settings settings(o.ini ? *o.ini : Settings::DefaultPath());
  LoadPortMap(settings.Ini());
  TMeterRead read;
  read.Delays = settings.LoadDelays();
  read.VerTable = LoadVerTable(ProgramDirectory() + "/firmware.ini");
  if (o.trace) EnableTrace(read.lumComPort);

  ReadRequest request;
  request.netAddr = static_cast<int>(o.addr);
  request.baudIndex = o.baud ? (*o.baud == 9600 ? 0 : 1) : settings.Baud();
  std::unique_ptr<DemoMeter> demo;
  if (o.demo) {
    std::string error;
    const unsigned baud = request.baudIndex == 0 ? 9600 : 19200;
    demo = StartDemoMeter(*o.demo, 1, static_cast<uint8_t>(o.addr), baud, error);
    if (!demo) {
      std::cerr << "calibrate-cli: cannot start the virtual meter: " << error << "\n";
      return Code(ExitStatus::PortError);
    }
    request.portIndex = 0;
    request.portText = "COM1";
  } else {
    ChoosePort(o.port, settings, request);
  }

  RecordingView view;
  const MeterReading reading = read.BRefreshClick(view, request);
  for (const auto& e : view.errors)
    std::cerr << "Ошибка: " << e << "\n";
  std::cout << (o.json ? ReadAsJson(reading) : ReadAsText(reading)) << std::flush;
  JournalTheRead(o, settings, reading);
  return Code(ReadExitStatus(reading));
}

int RunPorts() {
  const auto devices = ListSerialDevices();
  std::cout << "Serial devices:\n";
  if (devices.empty()) std::cout << "  (none found)\n";
  for (const auto& d : devices)
    std::cout << "  " << d.name << (d.description.empty() ? "" : "  (" + d.description + ")")
              << "\n";
  Settings settings(Settings::DefaultPath());
  if (!kPortMapInUse) {
    std::cout << "COMn opens " << DefaultSerialPortName(1).substr(0, 7)
              << "n; settings: " << settings.Path() << "\n";
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
  return Code(ExitStatus::Ok);
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
    std::cerr << "Ошибка: Не удалось открыть порт " << request.portText << "\n";
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
    case CliCommand::Ports:
      return RunPorts();
    case CliCommand::Monitor:
      return RunMonitor(*options);
    case CliCommand::History:
      return RunHistory(*options);
    case CliCommand::JournalVerify:
      return RunJournalVerify(*options);
    case CliCommand::Help:
      std::cout << CliHelp(options->helpTopic);
      return Code(ExitStatus::Ok);
  }
  return Code(ExitStatus::Ok);
}
