// The one place where the engineer's choice of port becomes a device.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/core/line/PortMap.h"
#include "app/core/line/PortSpec.h"
#include "app/core/settings/IniFile.h"
#include "comm/serial/SerialDevice.h"

namespace {

TEST(PortSpec, ComPortNumbers) {
  const std::pair<const char*, unsigned> good[] = {{"COM7", 7}, {"com12", 12}, {"COM255", 255}};
  for (const auto& [text, n] : good)
    EXPECT_EQ(ComPortNumber(text), n) << text;
  for (const char* notOne : {"COM", "COM0", "COM256", "COM1x", "COM-1", "COM+3", "/dev/ttyS0", ""})
    EXPECT_FALSE(ComPortNumber(notOne)) << notOne;
}

TEST(PortSpec, ComNamesGoThroughThePortMapAndPathsStayAsTheyAre) {
  const auto path =
      std::filesystem::temp_directory_path() /
      ("portspec-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".ini");
  std::ofstream(path) << "[Ports]\nCOM3=/dev/ttyUSB0\nCOM4=\n";
  const IniFile ini(path.string());
  struct Case {
    std::string port;
    std::string device;
  };
  const Case cases[] = {
      {"COM3", kPortMapInUse ? "/dev/ttyUSB0" : lum::DefaultSerialPortName(3)},
      {"com3", kPortMapInUse ? "/dev/ttyUSB0" : lum::DefaultSerialPortName(3)},
      {"COM4", lum::DefaultSerialPortName(4)},  // an empty entry maps nothing
      {"COM9", lum::DefaultSerialPortName(9)},
      {"/dev/serial/by-id/usb-X", "/dev/serial/by-id/usb-X"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ResolvePortDevice(c.port, ini), c.device) << c.port;

  const PortSpec spec = MakePortSpec("COM3", 19200, 17, true, ini);
  EXPECT_EQ(spec.name, "COM3");
  EXPECT_EQ(spec.baud, 19200u);
  EXPECT_EQ(spec.address, 17);
  EXPECT_TRUE(spec.echo);
  // No port chosen is no device, not COM0 or /dev/ttyS-1.
  EXPECT_EQ(MakePortSpec("", 9600, 0, false, ini).device, "");
  std::filesystem::remove(path);
}

}  // namespace
