// Linux: the stable /dev/serial/by-id links, USB adapters (ttyUSB, ttyACM), and
// the ttyS ports that have a UART behind them (the kernel lists 4 or 32 ttyS
// devices whether or not the hardware is there; its "type" is 0 for those).
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "PortList.h"

namespace fs = std::filesystem;

namespace {

bool HasUart(const std::string& name) {
  std::ifstream type("/sys/class/tty/" + name + "/type");
  int t = 0;
  return type >> t && t != 0;
}

}  // namespace

std::vector<SerialDeviceInfo> ListSerialDevices() {
  std::vector<SerialDeviceInfo> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/dev/serial/by-id", ec)) {
    std::error_code ignored;
    out.push_back({e.path().string(), fs::canonical(e.path(), ignored).string()});
  }
  std::vector<std::string> ttys;
  for (const auto& e : fs::directory_iterator("/dev", ec)) {
    const std::string name = e.path().filename().string();
    const bool usb = name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
    const bool uart = name.rfind("ttyS", 0) == 0 && HasUart(name);
    if (usb || uart) ttys.push_back(e.path().string());
  }
  std::sort(ttys.begin(), ttys.end());
  for (const auto& t : ttys)
    out.push_back({t, ""});
  return out;
}
