#include "MeterOptions.h"

#include "Validators.h"
#include "sim/DemoMode.h"

CLI::Validator AddressCheck() {
  return DecimalIn(0, 127, [](const std::string& text) {
    return "address " + text + " is out of range (0 to 127)";
  });
}

void AddIniOption(Declaration& d, MeterOptions& o) {
  d.App()
      .add_option_function<std::string>(
          "--ini", [&o](const std::string& ini) { o.ini = ini; },
          "settings file (default: the one named below)")
      ->type_name("FILE")
      ->check(Valued("--ini"));
}

void AddMeterOptions(Declaration& d, MeterOptions& o, bool address, bool echo) {
  CLI::App& app = d.App();
  if (address)
    DecimalOption(app.add_option("--addr", o.addr, "network address 0..127 (default 0)"),
                  AddressCheck())
        ->type_name("N");
  AddIniOption(d, o);
  CLI::Option* demo =
      app.add_option_function<std::string>(
             "--demo", [&o](const std::string& model) { o.demo = model; },
             "read a virtual meter: " + DemoModelList() +
                 (address ? " (bus: meters at addresses 1, 5 and 17; --addr picks one)"
                          : " (bus: meters at addresses 1, 5 and 17)"))
          ->type_name("MODEL")
          ->check(Valued("--demo"))
          ->check(OneOf(DemoModelNames(), [](const std::string& model) {
            return "unknown model '" + model + "' (" + DemoModelList() + ")";
          }));
  app.add_flag("--demo-reset", o.demoReset,
               "the virtual meter starts afresh, forgetting what earlier demo runs wrote")
      ->needs(demo);
  // A demo has its own port.
  if (const CLI::Option* port = app.get_option_no_throw("--port")) d.Alternatives(port, demo);
  if (echo)
    app.add_flag("--echo", o.echo, "the line returns each request (two-wire RS-485): skip it");
}
