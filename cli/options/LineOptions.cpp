#include "LineOptions.h"

#include "CaptureOptions.h"
#include "Validators.h"

std::string UnsupportedBaud(const std::string& baud) {
  return "скорость " + baud + " не поддерживается (9600 или 19200)";
}

namespace {

std::string NoSpeed(const std::string& baud) {
  return "скорость " + baud + ": ожидается целое число бод от 1";
}

}  // namespace

void AddLineOptions(Declaration& d, LineOptions& o, Speeds speeds, bool trace) {
  CLI::App& app = d.App();
  app.add_option_function<std::string>(
         "--port", [&o](const std::string& port) { o.port = port; },
         "номер порта (через [Ports] файла настроек) или путь к устройству; по "
         "умолчанию порт, сохранённый окном")
      ->type_name("COMn|PATH")
      ->check(Valued("--port"))
      ->check(PortName());
  CLI::Option* baud = app.add_option_function<unsigned>("--baud", [&o](unsigned b) { o.baud = b; });
  if (speeds == Speeds::Meter)
    DecimalOption(baud, DecimalAmong({9600, 19200}, UnsupportedBaud))
        ->type_name("9600|19200")
        ->description("9600 или 19200; по умолчанию сохранённая скорость");
  else
    DecimalOption(baud, DecimalIn(1, 999999999, NoSpeed))
        ->type_name("B")
        ->description("по умолчанию сохранённая скорость (9600 или 19200)");
  if (trace)
    app.add_flag("--trace", o.trace, "выводить в stderr каждый отправленный и принятый байт");
  AddCaptureOptions(d, o);
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
