// diagnose: why no meter answers, from identification requests only.
#include <algorithm>
#include <iostream>

#include "CommandTable.h"
#include "MeterCommand.h"
#include "app/core/line/LineDiagnosis.h"
#include "cli/options/JournalOptions.h"
#include "cli/options/LineOptions.h"
#include "cli/options/MeterOptions.h"
#include "cli/output/ExitStatus.h"

namespace {

class Diagnose final : public MeterCommand {
 public:
  Diagnose() : MeterCommand(CliCommand::Diagnose, "diagnose", "find out why no meter answers") {}

  void Declare(Declaration& d, CliOptions& o) const override {
    AddLineOptions(d, o, Speeds::Meter);
    AddMeterOptions(d, o);
    // Taken as read takes them, for scripts that pass the read's options on,
    // but nothing is printed as JSON nor journalled: kept out of the help.
    d.App().add_flag("--json", o.json)->group("");
    AddJournalRecording(d, o);
    for (const char* hidden : {"--journal", "--no-journal"})
      d.App().get_option(hidden)->group("");
  }
  std::string Description() const override {
    return "Probes the line with identification requests only (3x and ModBus, at 9600 and\n"
           "19200 baud or at --baud alone) and says what it saw: no such port, no\n"
           "permission, port busy, the echo of a two-wire adapter, bytes that never make\n"
           "a reply, or silence, with what to check.\n";
  }
  std::string Statuses() const override { return "Exit status 0 when a meter answered.\n"; }

 protected:
  LineChoice Choose(const CliOptions& o, const Settings& settings) const override {
    LineChoice c = MeterCommand::Choose(o, settings);
    c.baud = o.baud.value_or(9600);  // the probes choose their speeds themselves
    return c;
  }
  // Works on the port, not on a meter: the point is to find out why there is
  // none.
  int RunOnLine(const CliOptions& o, Settings&, MeterLine& line) const override {
    TlumComPort port;
    if (o.trace) port.SetOnTrace(line.trace.bytes);
    port.SetDevice(line.spec.device);
    DiagnoseRequest asked;
    if (o.baud) asked.bauds = {*o.baud};
    asked.addresses = {o.addr};
    asked.echoSuppression = line.spec.echo;
    std::cerr << "Опрос " << port.DeviceName() << "...\n";
    const LineDiagnosis d = DiagnoseLine(port, asked);
    std::cout << d.text;
    if (!d.portOpened) return Code(ExitStatus::PortError);
    const bool answered = std::any_of(d.probes.begin(), d.probes.end(), [](const LineProbe& p) {
      return p.cause == LineCause::Answered;
    });
    return Code(answered ? ExitStatus::Ok : ExitStatus::NotFound);
  }
};

}  // namespace

const Command& DiagnoseCommand() {
  static const Diagnose command;
  return command;
}
