#include "MeterOptions.h"

#include "Validators.h"
#include "sim/DemoMode.h"

CLI::Validator AddressCheck() {
  return DecimalIn(0, 127, [](const std::string& text) {
    return "адрес " + text + " вне диапазона (от 0 до 127)";
  });
}

void AddIniOption(Declaration& d, MeterOptions& o) {
  d.App()
      .add_option_function<std::string>(
          "--ini", [&o](const std::string& ini) { o.ini = ini; },
          "файл настроек (по умолчанию тот, что назван ниже)")
      ->type_name("FILE")
      ->check(Valued("--ini"));
}

void AddMeterOptions(Declaration& d, MeterOptions& o, bool address, bool echo) {
  CLI::App& app = d.App();
  if (address)
    DecimalOption(app.add_option("--addr", o.addr, "сетевой адрес 0..127 (по умолчанию 0)"),
                  AddressCheck())
        ->type_name("N");
  AddIniOption(d, o);
  CLI::Option* demo =
      app.add_option_function<std::string>(
             "--demo", [&o](const std::string& model) { o.demo = model; },
             "работать с виртуальным прибором: " + DemoModelList() +
                 (address ? " (bus: приборы с адресами 1, 5 и 17; --addr выбирает один)"
                          : " (bus: приборы с адресами 1, 5 и 17)"))
          ->type_name("MODEL")
          ->check(Valued("--demo"))
          ->check(OneOf(DemoModelNames(), [](const std::string& model) {
            return "неизвестная модель '" + model + "' (" + DemoModelList() + ")";
          }));
  app.add_flag("--demo-reset", o.demoReset,
               "виртуальный прибор начинает заново, забыв, что записали в него прежние запуски")
      ->needs(demo);
  // A demo has its own port.
  if (const CLI::Option* port = app.get_option_no_throw("--port")) d.Alternatives(port, demo);
  app.add_flag("--inspector", o.inspector,
               "режим проверки: ничего не записывать в прибор (как [Service] Writes=0)");
  if (echo)
    app.add_flag("--echo", o.echo,
                 "линия возвращает каждый запрос (двухпроводный RS-485): пропускать его");
}
