// Windows: the COM ports the system has, from the SERIALCOMM key of the
// registry (every serial driver registers its ports there), with the friendly
// names that the Ports device class gives them ("USB Serial Port (COM3)") and,
// for a USB adapter, its IDs, maker, product and serial number.
#include <windows.h>
// setupapi.h and devguid.h need windows.h first.
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <map>

#include "app/core/line/PortList.h"

namespace {

struct PortDescription {
  std::string friendly;
  UsbAdapterInfo usb;
};

std::string Property(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
  char text[512] = {};
  if (!SetupDiGetDeviceRegistryPropertyA(set, &info, property, nullptr,
                                         reinterpret_cast<BYTE*>(text), sizeof text - 1, nullptr))
    return "";
  return text;
}

// "USB\VID_0403&PID_6001&REV_0600": the four hex digits after key.
std::string IdPart(const std::string& id, const char* key) {
  const size_t at = id.find(key);
  return at == std::string::npos ? "" : id.substr(at + 4, 4);
}

// What a USB adapter's driver registered: its IDs in the hardware ID, the
// maker, the description, and the serial number as the last part of the
// instance ID ("USB\VID_0403&PID_6001\A50285BI"; a generated one holds '&').
UsbAdapterInfo UsbOf(HDEVINFO set, SP_DEVINFO_DATA& info) {
  UsbAdapterInfo usb;
  const std::string hardware = Property(set, info, SPDRP_HARDWAREID);
  usb.vendorId = IdPart(hardware, "VID_");
  usb.productId = IdPart(hardware, "PID_");
  if (usb.vendorId.empty()) return {};
  usb.manufacturer = Property(set, info, SPDRP_MFG);
  usb.product = Property(set, info, SPDRP_DEVICEDESC);
  char instance[512] = {};
  if (SetupDiGetDeviceInstanceIdA(set, &info, instance, sizeof instance - 1, nullptr)) {
    const std::string id = instance;
    const std::string last = id.substr(id.find_last_of('\\') + 1);
    if (last.find('&') == std::string::npos) usb.serial = last;
  }
  return usb;
}

std::map<std::string, PortDescription> Descriptions() {
  std::map<std::string, PortDescription> names;
  HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return names;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
    const std::string friendly = Property(set, info, SPDRP_FRIENDLYNAME);
    if (friendly.empty()) continue;
    HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    char port[64] = {};
    DWORD size = sizeof port - 1;
    if (RegQueryValueExA(key, "PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(port), &size) ==
        ERROR_SUCCESS)
      names[port] = {friendly, UsbOf(set, info)};
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
  const auto described = Descriptions();
  for (DWORD i = 0;; ++i) {
    char device[256] = {};
    char port[64] = {};
    DWORD deviceSize = sizeof device - 1, portSize = sizeof port - 1, type = 0;
    if (RegEnumValueA(key, i, device, &deviceSize, nullptr, &type, reinterpret_cast<BYTE*>(port),
                      &portSize) != ERROR_SUCCESS)
      break;
    if (type != REG_SZ) continue;
    auto it = described.find(port);
    if (it == described.end()) {
      out.push_back({port, device, {}, {}});
      continue;
    }
    const UsbAdapterInfo& usb = it->second.usb;
    out.push_back({port, it->second.friendly + (usb.Known() ? ", " + usb.Text() : ""), usb, {}});
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
