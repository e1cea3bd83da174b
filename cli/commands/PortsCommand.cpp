// ports: the serial devices present, and the COMn bindings of the port map.
#include <iostream>

#include "CommandTable.h"
#include "app/core/line/PortList.h"
#include "app/core/line/PortMap.h"
#include "app/core/settings/SettingsPlace.h"
#include "cli/output/ExitStatus.h"
#include "cli/output/HelpText.h"
#include "comm/serial/SerialDevice.h"

namespace {

constexpr const char* kJournalLabel = "Журнал: ";

class Ports final : public Command {
 public:
  Ports()
      : Command(CliCommand::Ports, "ports", "перечислить последовательные порты и карту портов") {}

  void Declare(Declaration&, CliOptions&) const override {}
  std::string Description() const override {
    return "Перечисляет последовательные порты системы и привязки COMn из карты портов.\n";
  }

  int Run(const CliOptions&, Settings& settings) const override {
    const auto devices = ListSerialDevices();
    std::cout << "Последовательные порты:\n";
    if (devices.empty()) std::cout << "  (не найдены)\n";
    for (const auto& d : devices) {
      std::cout << "  " << d.name << (d.description.empty() ? "" : "  (" + d.description + ")")
                << "\n";
      // The by-id link keeps naming the same adapter whatever USB port it is in.
      if (!d.stableLink.empty())
        std::cout << "      постоянное имя для [Ports]: " << d.stableLink << "\n";
    }
    if (!kPortMapInUse) {
      std::cout << "COMn открывает " << lum::DefaultSerialPortName(1).substr(0, 7) << "n\n"
                << kSettingsFileLabel << settings.Path() << "\n"
                << kJournalLabel << DefaultJournalDir() << "\n";
      return Code(ExitStatus::Ok);
    }
    std::cout << "Карта портов (" << settings.Path() << ", [Ports]):\n";
    bool any = false;
    for (int n = 1; n <= 255; ++n) {
      auto path = settings.Ini().ReadString("Ports", "COM" + std::to_string(n));
      if (path && !path->empty()) {
        std::cout << "  COM" << n << " = " << *path << "\n";
        any = true;
      }
    }
    if (!any)
      std::cout << "  (записей нет; COMn открывает " << lum::DefaultSerialPortName(1).substr(0, 9)
                << "{n-1})\n";
    std::cout << kSettingsFileLabel << settings.Path() << "\n"
              << kJournalLabel << DefaultJournalDir() << "\n";
    return Code(ExitStatus::Ok);
  }
};

}  // namespace

const Command& PortsCommand() {
  static const Ports command;
  return command;
}
