// diagnose: why no meter answers, from identification requests only.
#include <algorithm>
#include <iostream>

#include "CommandTable.h"
#include "JournalEvents.h"
#include "MeterCommand.h"
#include "app/core/line/LineDiagnosis.h"
#include "cli/options/JournalOptions.h"
#include "cli/options/LineOptions.h"
#include "cli/options/MeterOptions.h"
#include "cli/output/ExitStatus.h"

namespace {

class Diagnose final : public MeterCommand {
 public:
  Diagnose()
      : MeterCommand(CliCommand::Diagnose, "diagnose", "выяснить, почему прибор не отвечает") {}

  void Declare(Declaration& d, CliOptions& o) const override {
    AddLineOptions(d, o, Speeds::Meter);
    AddMeterOptions(d, o);
    // Taken as read takes them, for scripts that pass the read's options on,
    // but nothing is printed as JSON nor journalled: kept out of the help.
    d.App().add_flag("--json", o.json)->group("");
    AddJournalRecording(d, o, kReadEvent);
    for (const char* hidden : {"--journal", "--no-journal"})
      d.App().get_option(hidden)->group("");
  }
  std::string Description() const override {
    return "Опрашивает линию только запросами идентификации (3x и ModBus, на 9600 и 19200 "
           "бод или только на скорости --baud) и сообщает, что увидел: порта нет, нет прав, "
           "порт занят, эхо двухпроводного адаптера, байты, из которых не складывается "
           "ответ, или тишина, и что проверить.\n";
  }
  std::string Statuses() const override { return "Код завершения 0, если прибор ответил.\n"; }

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
