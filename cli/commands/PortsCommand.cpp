// ports: the serial devices present, and the COMn bindings of the port map.
#include <iostream>

#include "CommandTable.h"
#include "app/core/line/PortList.h"
#include "app/core/line/PortMap.h"
#include "app/core/settings/SettingsPlace.h"
#include "cli/output/ExitStatus.h"
#include "comm/serial/SerialDevice.h"

namespace {

class Ports final : public Command {
 public:
  Ports() : Command(CliCommand::Ports, "ports", "list serial devices and the port map") {}

  void Declare(Declaration&, CliOptions&) const override {}
  std::string Description() const override {
    return "Lists the serial devices present and the COMn bindings of the port map.\n";
  }

  int Run(const CliOptions&, Settings& settings) const override {
    const auto devices = ListSerialDevices();
    std::cout << "Serial devices:\n";
    if (devices.empty()) std::cout << "  (none found)\n";
    for (const auto& d : devices) {
      std::cout << "  " << d.name << (d.description.empty() ? "" : "  (" + d.description + ")")
                << "\n";
      // The by-id link keeps naming the same adapter whatever USB port it is in.
      if (!d.stableLink.empty())
        std::cout << "      stable name for [Ports]: " << d.stableLink << "\n";
    }
    if (!kPortMapInUse) {
      std::cout << "COMn opens " << lum::DefaultSerialPortName(1).substr(0, 7)
                << "n; settings: " << settings.Path() << "\n";
      std::cout << "Journal: " << DefaultJournalDir() << "\n";
      return Code(ExitStatus::Ok);
    }
    std::cout << "Port map (" << settings.Path() << ", [Ports]):\n";
    bool any = false;
    for (int n = 1; n <= 255; ++n) {
      auto path = settings.Ini().ReadString("Ports", "COM" + std::to_string(n));
      if (path && !path->empty()) {
        std::cout << "  COM" << n << " = " << *path << "\n";
        any = true;
      }
    }
    if (!any)
      std::cout << "  (no entries; COMn opens " << lum::DefaultSerialPortName(1).substr(0, 9)
                << "{n-1})\n";
    std::cout << "Settings file: " << settings.Path() << "\nJournal: " << DefaultJournalDir()
              << "\n";
    return Code(ExitStatus::Ok);
  }
};

}  // namespace

const Command& PortsCommand() {
  static const Ports command;
  return command;
}
