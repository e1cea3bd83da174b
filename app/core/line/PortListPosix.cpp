// Linux: the stable /dev/serial/by-id links, USB adapters (ttyUSB, ttyACM), and
// the ttyS ports that have a UART behind them (the kernel lists 4 or 32 ttyS
// devices whether or not the hardware is there; its "type" is 0 for those).
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/core/line/PortList.h"

namespace fs = std::filesystem;

namespace {

bool HasUart(const std::string& name) {
  std::ifstream type("/sys/class/tty/" + name + "/type");
  int t = 0;
  return type >> t && t != 0;
}

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

UsbAdapterInfo ReadUsbAdapter(const std::string& sysRoot, const std::string& name) {
  // tty/<name>/device is the USB interface (ttyUSB: the serial port below
  // it); the USB device with the descriptors is the nearest parent that has
  // an idVendor.
  std::error_code ec;
  fs::path dir = fs::canonical(fs::path(sysRoot) / "class/tty" / name / "device", ec);
  UsbAdapterInfo info;
  for (int up = 0; !ec && up < 4 && !dir.empty(); ++up, dir = dir.parent_path()) {
    if (!fs::exists(dir / "idVendor")) continue;
    info = {FirstLine(dir / "idVendor"), FirstLine(dir / "idProduct"),
            FirstLine(dir / "manufacturer"), FirstLine(dir / "product"), FirstLine(dir / "serial")};
    break;
  }
  return info;
}

std::vector<SerialDeviceInfo> ListSerialDevices() {
  std::vector<SerialDeviceInfo> out;
  std::error_code ec;
  std::vector<std::pair<std::string, std::string>> links;  // target, link
  for (const auto& e : fs::directory_iterator("/dev/serial/by-id", ec)) {
    std::error_code ignored;
    links.emplace_back(fs::canonical(e.path(), ignored).string(), e.path().string());
  }
  std::vector<std::string> ttys;
  for (const auto& e : fs::directory_iterator("/dev", ec)) {
    const std::string name = e.path().filename().string();
    const bool usb = name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
    const bool uart = name.rfind("ttyS", 0) == 0 && HasUart(name);
    if (usb || uart) ttys.push_back(e.path().string());
  }
  std::sort(ttys.begin(), ttys.end());
  for (const auto& t : ttys) {
    SerialDeviceInfo d{t, "", ReadUsbAdapter("/sys", fs::path(t).filename().string()), ""};
    for (const auto& [target, link] : links)
      if (target == t) d.stableLink = link;
    d.description = d.usb.Text();
    out.push_back(std::move(d));
  }
  return out;
}

std::vector<std::string> PortHolders(const std::string& device) {
  // Each process's open files are links under /proc/<pid>/fd; those of other
  // users' processes cannot be read, and are simply not found.
  std::vector<std::string> out;
  std::error_code ec;
  const fs::path target = fs::canonical(device, ec);
  if (ec) return out;
  for (const auto& proc : fs::directory_iterator("/proc", ec)) {
    const std::string pid = proc.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code fdError;
    for (const auto& fd : fs::directory_iterator(proc.path() / "fd", fdError)) {
      std::error_code linkError;
      if (fs::read_symlink(fd.path(), linkError) != target) continue;
      out.push_back(pid + " " + FirstLine(proc.path() / "comm"));
      break;
    }
  }
  return out;
}
