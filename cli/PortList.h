// The serial devices this computer has, for "calibrate-cli ports".
#pragma once

#include <string>
#include <vector>

struct SerialDeviceInfo {
  std::string name;         // what --port takes: a path, or COMn on Windows
  std::string description;  // where known: a friendly name or the link target
};

std::vector<SerialDeviceInfo> ListSerialDevices();
