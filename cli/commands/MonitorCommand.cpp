// monitor: the traffic on a line, listened to without sending anything.
#include <chrono>
#include <ctime>
#include <iostream>
#include <vector>

#include "CommandTable.h"
#include "RunCapture.h"
#include "app/core/line/LineDiagnosis.h"
#include "cli/options/LineOptions.h"
#include "cli/output/Console.h"
#include "cli/output/ExitStatus.h"
#include "cli/output/Trace.h"
#include "comm/LuMComPort.h"
#include "comm/LumSynchronizer.h"

namespace {

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

// A burst as the frame it looks like: a 3x frame starts with its start byte
// (55 request, AA reply) and has the address complement third; anything else
// goes to Wireshark as ModBus RTU, which checks its CRC.
LineFrame BurstFrame(std::span<const uint8_t> burst) {
  const bool is3x = burst.size() >= 3 && (burst[0] == 0x55 || burst[0] == 0xAA) &&
                    burst[2] == static_cast<uint8_t>(~burst[1]);
  return {is3x ? FrameProtocol::Lum3x : FrameProtocol::ModBusRtu, FrameDirection::Inbound,
          FrameStatus::Good, lum::WallUs(), burst};
}

// No meter, no address: the port alone, at any speed.
class Monitor final : public Command {
 public:
  Monitor() : Command(CliCommand::Monitor, "monitor", "показать обмен на линии") {}

  void Declare(Declaration& d, CliOptions& o) const override {
    AddLineOptions(d, o, Speeds::Any);
    // Taken as before for scripts; the bursts are the trace already.
    d.App().get_option("--trace")->group("");
  }
  std::string Description() const override {
    return "Слушает линию, ничего не отправляя, и выводит каждую пачку принятых байтов в "
           "шестнадцатеричном виде, по строке на пачку с её тактом и временем, пока его не "
           "прервут (Ctrl+C). С --pcap пачки идут и в файл pcapng: похожие на кадр 3x как "
           "3x, остальные как ModBus RTU.\n";
  }

  int Run(const CliOptions& o, Settings& settings) const override {
    const PortSpec spec = LinePortSpec(o, settings, ChosenBaud(o.baud, settings), 0, false);
    TlumComPort port;
    port.SetDevice(spec.device);
    port.SetBaudRate(spec.baud);
    port.SetReceiveInThread(true);
    port.SetThreadInterval(10);
    RunCapture capture;
    if (!capture.Start(o)) return Code(ExitStatus::Refused);
    std::vector<uint8_t> burst;
    port.SetOnReceiveByte([&](TlumCustomComPort*, uint8_t b, uint32_t) { burst.push_back(b); });
    port.SetOnReceiveTimeout([&](TlumCustomComPort*, uint32_t tick) {
      if (burst.empty()) return;
      std::cout << TimeStamp() << " #" << tick << "  " << Hex(burst) << std::endl;
      capture.Note(BurstFrame(burst));
      burst.clear();
    });
    if (!port.Open()) {
      std::cerr << "Ошибка: " << kPortOpenError << spec.name << "\n" << ExplainOpenFailure(port);
      return Code(ExitStatus::PortError);
    }
    CatchInterrupt();
    std::cerr << "Прослушивание " << port.DeviceName() << "; остановка: Ctrl+C.\n";
    while (!Interrupted())
      CheckSynchronize(50);
    port.Close();
    return Code(ExitStatus::Ok);
  }
};

}  // namespace

const Command& MonitorCommand() {
  static const Monitor command;
  return command;
}
