#include "PortMap.h"

#include "app/core/settings/IniFile.h"
#include "comm/serial/SerialDevice.h"

int LoadPortMap(const IniFile& ini) {
  if (!kPortMapInUse) return 0;
  int bound = 0;
  for (int n = 1; n <= 255; ++n) {
    auto path = ini.ReadString("Ports", "COM" + std::to_string(n));
    if (path && !path->empty()) {
      lum::BindSerialPortPath(static_cast<uint8_t>(n), *path);
      ++bound;
    }
  }
  return bound;
}
