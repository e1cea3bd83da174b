#include "ScanOptions.h"

#include "cli/options/LineOptions.h"
#include "cli/options/MeterOptions.h"
#include "cli/options/Validators.h"

void DeclareScanOptions(Declaration& d, CliOptions& o) {
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
}

void CheckScanOptions(const CliOptions& o) {
  if (o.scan.from > o.scan.to) throw Refusal{"--from больше --to"};
}

LineChoice ScanLineChoice(const CliOptions& o) {
  return {o.scan.bauds.front(), 0, 1, false};
}

ScanRequest ScanRequestOf(const CliOptions& o, Settings& settings, const MeterLine& line) {
  ScanRequest request;
  request.timeouts = settings.LoadScanTimeouts();
  request.bauds.assign(o.scan.bauds.begin(), o.scan.bauds.end());
  request.from = static_cast<int>(o.scan.from);
  request.to = static_cast<int>(o.scan.to);
  request.protocols.clear();
  if (o.scan.threeX) request.protocols.push_back(ScanProtocol::ThreeX);
  if (o.scan.modbus) request.protocols.push_back(ScanProtocol::ModBus);
  request.port = line.spec;
  return request;
}
