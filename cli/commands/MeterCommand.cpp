#include "MeterCommand.h"

#include <cstdio>
#include <iostream>

#include "DemoMemory.h"
#include "app/core/settings/DevManager.h"
#include "app/core/settings/SettingsPlace.h"
#include "cli/options/LineOptions.h"
#include "cli/output/ExitStatus.h"
#include "cli/output/Trace.h"

LineChoice MeterCommand::Choose(const CliOptions& o, const Settings& settings) const {
  const auto address = static_cast<uint8_t>(o.addr);
  return {ChosenBaud(o.baud, settings), address, address, o.echo || settings.EchoSuppression()};
}

int MeterCommand::Run(const CliOptions& o, Settings& settings) const {
  MeterLine line;
  line.catalogue.delays = settings.LoadDelays();
  line.catalogue.verTable = LoadVerTable(FirmwareIniPath());
  if (o.trace) line.trace = StderrTrace();
  if (!line.capture.Start(o)) return Code(ExitStatus::Refused);
  const LineChoice c = Choose(o, settings);
  if (!o.demo) {
    line.spec = LinePortSpec(o, settings, c.baud, c.address, c.echo);
    return RunOnLine(o, settings, line);
  }
  std::string error;
  line.demo = StartDemoMeter(*o.demo, c.demoAddress, c.baud, error);
  if (!line.demo) {
    std::cerr << "calibrate-cli: виртуальный прибор не запущен: " << error << "\n";
    return Code(ExitStatus::PortError);
  }
  // The demo remembers its earlier runs' writes; a state that cannot be had
  // costs the memory, not the run.
  const auto state = DemoStateFile(*o.demo);
  if (o.demoReset ? !ForgetDemoState(state, error) : !LoadDemoState(*line.demo, state, error))
    std::cerr << "calibrate-cli: " << error << "; виртуальный прибор начинает заново\n";
  line.spec = {line.demo->Device(), "COM1", c.baud, c.address, c.echo};
  const int status = RunOnLine(o, settings, line);
  if (!SaveDemoState(*line.demo, state, error))
    std::cerr << "calibrate-cli: " << error
              << "; следующий запуск демонстрации этого не вспомнит\n";
  return status;
}

int MeterCommand::RunOnLine(const CliOptions& o, Settings& settings, MeterLine& line) const {
  return ConnectAndRun(o, settings, line);
}

int MeterCommand::ConnectAndRun(const CliOptions& o, Settings& settings, MeterLine& line) const {
  Connected c = Connect(line.spec, line.catalogue, line.trace);
  if (c.result != ConnectResult::Ok) {
    std::cerr << "Ошибка: " << c.message << "\n";
    return Code(c.result == ConnectResult::PortError ? ExitStatus::PortError
                                                     : ExitStatus::NotFound);
  }
  return RunWithMeter(o, settings, line, *c.meter);
}

int MeterCommand::RunWithMeter(const CliOptions&, Settings&, MeterLine&, Meter&) const {
  return Code(ExitStatus::Ok);
}
