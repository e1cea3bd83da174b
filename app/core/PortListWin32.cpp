// Windows: the COM ports the system has, from the SERIALCOMM key of the
// registry (every serial driver registers its ports there), with the friendly
// names that the Ports device class gives them ("USB Serial Port (COM3)").
#include <windows.h>
// setupapi.h and devguid.h need windows.h first.
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <map>

#include "app/core/PortList.h"

namespace {

std::map<std::string, std::string> FriendlyNames() {
  std::map<std::string, std::string> names;
  HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return names;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
    char friendly[256] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set, &info, SPDRP_FRIENDLYNAME, nullptr,
                                           reinterpret_cast<BYTE*>(friendly), sizeof friendly - 1,
                                           nullptr))
      continue;
    HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    char port[64] = {};
    DWORD size = sizeof port - 1;
    if (RegQueryValueExA(key, "PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(port), &size) ==
        ERROR_SUCCESS)
      names[port] = friendly;
    RegCloseKey(key);
  }
  SetupDiDestroyDeviceInfoList(set);
  return names;
}

unsigned PortNumber(const std::string& name) {
  return name.size() > 3 ? static_cast<unsigned>(std::strtoul(name.c_str() + 3, nullptr, 10)) : 0;
}

}  // namespace

std::vector<SerialDeviceInfo> ListSerialDevices() {
  std::vector<SerialDeviceInfo> out;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return out;
  const auto friendly = FriendlyNames();
  for (DWORD i = 0;; ++i) {
    char device[256] = {};
    char port[64] = {};
    DWORD deviceSize = sizeof device - 1, portSize = sizeof port - 1, type = 0;
    if (RegEnumValueA(key, i, device, &deviceSize, nullptr, &type, reinterpret_cast<BYTE*>(port),
                      &portSize) != ERROR_SUCCESS)
      break;
    if (type != REG_SZ) continue;
    auto it = friendly.find(port);
    out.push_back({port, it != friendly.end() ? it->second : device, {}, {}});
  }
  RegCloseKey(key);
  std::sort(out.begin(), out.end(), [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) {
    return PortNumber(a.name) < PortNumber(b.name);
  });
  return out;
}

UsbAdapterInfo ReadUsbAdapter(const std::string&, const std::string&) {
  return {};
}

// Windows does not say which program holds a COM port.
std::vector<std::string> PortHolders(const std::string&) {
  return {};
}
