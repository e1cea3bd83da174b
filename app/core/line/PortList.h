// The serial devices this computer has ("calibrate-cli ports", the window's
// port list, the explanation of a port that does not exist), what a USB
// adapter tells about itself, and who holds a busy port. One file per
// platform; where the system cannot tell, the answers are empty.
#pragma once

#include <string>
#include <vector>

// What a USB serial adapter reports about itself (all may be empty).
struct UsbAdapterInfo {
  std::string vendorId;   // "0403"
  std::string productId;  // "6001"
  std::string manufacturer;
  std::string product;
  std::string serial;
  bool Known() const { return !vendorId.empty() || !product.empty(); }
  // "0403:6001 FTDI FT232R USB UART, s/n A50285BI"
  std::string Text() const;
};

struct SerialDeviceInfo {
  std::string name;         // what --port takes: a path, or COMn on Windows
  std::string description;  // where known: a friendly name or the link target
  UsbAdapterInfo usb;       // a USB adapter's own data
  std::string stableLink;   // Linux: the /dev/serial/by-id link to this device
};

std::vector<SerialDeviceInfo> ListSerialDevices();

// Linux: the adapter behind tty `name` ("ttyUSB0") as sysfs describes it under
// sysRoot ("/sys"); nothing known for a device that is not on USB.
UsbAdapterInfo ReadUsbAdapter(const std::string& sysRoot, const std::string& name);

// The programs that have the device open ("1234 minicom"), where the system
// tells; empty on Windows.
std::vector<std::string> PortHolders(const std::string& device);
