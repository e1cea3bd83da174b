// scan: the meters on a line, by identification requests at every address.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "CommandTable.h"
#include "MeterCommand.h"
#include "app/core/ops/BusScan.h"
#include "app/core/settings/DevManager.h"
#include "app/core/settings/SettingsPlace.h"
#include "cli/options/CaptureOptions.h"
#include "cli/options/LineOptions.h"
#include "cli/options/MeterOptions.h"
#include "cli/options/Validators.h"
#include "cli/output/Console.h"
#include "cli/output/ExitStatus.h"
#include "cli/output/ScanOutput.h"

namespace {

// Progress on one rewritten line of stderr; each meter found on its own.
class ScanProgressLine : public ScanListener {
 public:
  void OnProgress(const ScanProgress& p) override {
    std::fprintf(stderr, "\r%u бод, %s, адрес %3d, найдено %zu   ", p.baud,
                 ScanProtocolName(p.protocol), p.address, p.found);
  }
  void OnFound(const FoundMeter& m) override {
    std::fprintf(stderr, "\rнайден по адресу %s: %s\n", ScanAddressText(m).c_str(),
                 m.state == FoundState::Meter ? m.identification.c_str() : kAddressConflictText);
  }
  bool Cancelled() override { return Interrupted(); }
};

class Scan final : public MeterCommand {
 public:
  Scan() : MeterCommand(CliCommand::Scan, "scan", "найти приборы на линии") {}

  void Declare(Declaration& d, CliOptions& o) const override {
    CLI::App& app = d.App();
    app.add_option_function<std::string>(
           "--port", [&o](const std::string& port) { o.port = port; },
           "номер порта или путь к устройству; по умолчанию порт, сохранённый окном")
        ->type_name("COMn|PATH")
        ->check(Valued("--port"))
        ->check(PortName());
    // Lists as one value, each item checked: CLI11's own splitting would drop
    // the empty item of "9600,".
    app.add_option_function<std::string>(
           "--baud",
           [&o](const std::string& list) {
             o.scan.bauds.clear();
             for (const std::string& b : Items(list))
               o.scan.bauds.push_back(*Decimal(b));  // checked below
           },
           "скорости для опроса, по порядку (по умолчанию обе)")
        ->type_name("9600,19200")
        ->transform(Each(DecimalAmong({9600, 19200}, UnsupportedBaud)))
        ->transform(Valued("--baud"));
    for (auto [name, type, target, about] :
         {std::tuple{"--from", "A", &o.scan.from, "первый адрес (по умолчанию 0)"},
          std::tuple{"--to", "B", &o.scan.to, "последний адрес (по умолчанию 127)"}})
      DecimalOption(app.add_option(name, *target, about), AddressCheck())->type_name(type);
    app.add_option_function<std::string>(
           "--protocol",
           [&o](const std::string& list) {
             o.scan.threeX = o.scan.modbus = false;
             for (const std::string& p : Items(list))
               (p == "3x" ? o.scan.threeX : o.scan.modbus) = true;
           },
           "протоколы для опроса (по умолчанию оба)")
        ->type_name("3x,modbus")
        ->check(Valued("--protocol"))
        ->check(Each(OneOf({"3x", "modbus"}, [](const std::string& p) {
          return "неизвестный протокол '" + p + "' (3x, modbus)";
        })));
    const CLI::Option* json = app.add_flag("--json", o.json, "найденные приборы в JSON");
    d.Alternatives(json, app.add_flag("--csv", o.scan.csv, "найденные приборы в CSV"));
    AddMeterOptions(d, o, false, false);
    AddCaptureOptions(d, o);
  }
  void Check(CliOptions& o) const override {
    if (o.scan.from > o.scan.to) throw Refusal{"--from больше --to"};
  }
  std::string Description() const override {
    return "Ищет приборы на линии: запрашивает идентификацию по каждому адресу в каждом "
           "протоколе на каждой скорости (ещё раз там, где тишина), а у прибора, дважды "
           "ответившего одинаково, и серийный номер. Ничего не записывает. Ход опроса идёт в "
           "stderr, найденные приборы в stdout: адрес, скорость, протокол, идентификация, "
           "модель, серийный номер, состояние и время ответа в мс. Где на один адрес отвечают "
           "два прибора, состояние \"конфликт адресов\" (address_conflict). Тайм-ауты: [Scan] "
           "PacketTimeout и ByteTimeout.\n";
  }
  std::string Statuses() const override {
    return "Коды завершения: 0 найден прибор, 2 ошибка командной строки, 3 порт не "
           "открывается, 4 прибор не найден (и когда найдены только конфликты адресов).\n";
  }

 protected:
  // The scan sets speed and address for every probe itself. The virtual line
  // does not tell speeds apart: the meters answer at every one the scan
  // tries; a single demo meter sits at address 1.
  LineChoice Choose(const CliOptions& o, const Settings&) const override {
    return {o.scan.bauds.front(), 0, 1, false};
  }
  int RunOnLine(const CliOptions& o, Settings& settings, MeterLine& line) const override {
    TBusScan scan;
    scan.VerTable = line.catalogue.verTable;
    ScanRequest request;
    request.timeouts = settings.LoadScanTimeouts();
    request.bauds.assign(o.scan.bauds.begin(), o.scan.bauds.end());
    request.from = static_cast<int>(o.scan.from);
    request.to = static_cast<int>(o.scan.to);
    request.protocols.clear();
    if (o.scan.threeX) request.protocols.push_back(ScanProtocol::ThreeX);
    if (o.scan.modbus) request.protocols.push_back(ScanProtocol::ModBus);
    request.port = line.spec;
    if (request.port.device.empty()) {
      std::cerr << "Ошибка: порт не выбран (--port)\n";
      return Code(ExitStatus::PortError);
    }
    CatchInterrupt();
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
    const bool meter =
        std::any_of(outcome.meters.begin(), outcome.meters.end(),
                    [](const FoundMeter& m) { return m.state == FoundState::Meter; });
    return Code(meter ? ExitStatus::Ok : ExitStatus::NotFound);
  }
};

}  // namespace

const Command& ScanCommand() {
  static const Scan command;
  return command;
}
