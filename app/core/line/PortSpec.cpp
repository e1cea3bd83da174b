#include "PortSpec.h"

#include <cctype>
#include <charconv>

#include "app/core/line/PortMap.h"
#include "app/core/settings/IniFile.h"
#include "comm/serial/SerialDevice.h"

std::optional<unsigned> ComPortNumber(const std::string& port) {
  if (port.size() < 4) return std::nullopt;
  for (size_t i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(port[i])) != "COM"[i]) return std::nullopt;
  unsigned n = 0;
  const char* end = port.data() + port.size();
  const auto [at, ec] = std::from_chars(port.data() + 3, end, n);
  if (ec != std::errc() || at != end || n < 1 || n > 255) return std::nullopt;
  return n;
}

std::string ResolvePortDevice(const std::string& port, const IniFile& ini) {
  const auto n = ComPortNumber(port);
  if (!n) return port;
  if (kPortMapInUse)
    if (auto path = ini.ReadString("Ports", "COM" + std::to_string(*n)); path && !path->empty())
      return *path;
  return lum::DefaultSerialPortName(static_cast<uint8_t>(*n));
}

PortSpec MakePortSpec(const std::string& port, unsigned baud, unsigned address, bool echo,
                      const IniFile& ini) {
  return {port.empty() ? "" : ResolvePortDevice(port, ini), port, baud,
          static_cast<uint8_t>(address), echo};
}
