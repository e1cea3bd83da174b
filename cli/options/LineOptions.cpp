#include "LineOptions.h"

#include "Validators.h"

namespace {

std::string Unsupported(const std::string& baud) {
  return "baud rate " + baud + " is not supported (use 9600 or 19200)";
}

}  // namespace

void AddLineOptions(Declaration& d, LineOptions& o, Speeds speeds, bool trace) {
  CLI::App& app = d.App();
  app.add_option_function<std::string>(
         "--port", [&o](const std::string& port) { o.port = port; },
         "port number (mapped through [Ports] of the settings file) "
         "or a device path; default: the port saved by the window")
      ->type_name("COMn|PATH")
      ->check(Valued("--port"))
      ->check(PortName());
  CLI::Option* baud = app.add_option_function<unsigned>("--baud", [&o](unsigned b) { o.baud = b; });
  if (speeds == Speeds::Meter)
    DecimalOption(baud, DecimalAmong({9600, 19200}, Unsupported))
        ->type_name("9600|19200")
        ->description("9600 or 19200; default: the saved speed");
  else
    DecimalOption(baud, DecimalIn(1, 999999999, Unsupported))
        ->type_name("B")
        ->description("default: the saved speed (9600 or 19200)");
  if (trace) app.add_flag("--trace", o.trace, "print every byte sent and received on stderr");
}

std::string ChosenPort(const std::optional<std::string>& port, const Settings& settings) {
  if (port) return *port;
  const int saved = settings.Port();
  return saved >= 1 && saved <= 32 ? "COM" + std::to_string(saved) : "";
}

unsigned ChosenBaud(const std::optional<unsigned>& baud, const Settings& settings) {
  if (baud) return *baud;
  return settings.Baud() == 0 ? 9600u : 19200u;
}

PortSpec LinePortSpec(const LineOptions& o, Settings& settings, unsigned baud, unsigned address,
                      bool echo) {
  return MakePortSpec(ChosenPort(o.port, settings), baud, address, echo, settings.Ini());
}
