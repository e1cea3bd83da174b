// What a USB serial adapter says about itself, read from a sysfs tree made in
// a temporary folder the way the kernel lays it out.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/core/line/PortList.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

void Put(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << "\n";
}

TEST(UsbAdapter, ReadsTheUsbDeviceAboveTheTty) {
  const fs::path root = MakeTempDir("sysfs");
  const fs::path ftdi = root / "devices/pci0/usb1/1-1";
  for (auto [key, value] : {std::pair{"idVendor", "0403"},
                            {"idProduct", "6001"},
                            {"manufacturer", "FTDI"},
                            {"product", "FT232R USB UART"},
                            {"serial", "A50285BI"}})
    Put(ftdi / key, value);
  const fs::path cdc = root / "devices/pci0/usb1/1-2";
  Put(cdc / "idVendor", "2341");
  Put(cdc / "idProduct", "0043");
  fs::create_directories(ftdi / "1-1:1.0/ttyUSB0");
  fs::create_directories(cdc / "1-2:1.0");
  fs::create_directories(root / "devices/platform/serial8250");
  fs::create_directories(root / "class/tty/ttyS0");  // no device link at all: a virtual tty
  fs::create_directories(root / "class/tty/ttyUSB0");
  fs::create_directories(root / "class/tty/ttyACM0");
  fs::create_directories(root / "class/tty/ttyS1");
  fs::create_directory_symlink(ftdi / "1-1:1.0/ttyUSB0", root / "class/tty/ttyUSB0/device");
  fs::create_directory_symlink(cdc / "1-2:1.0", root / "class/tty/ttyACM0/device");
  fs::create_directory_symlink(root / "devices/platform/serial8250",
                               root / "class/tty/ttyS1/device");

  const struct {
    const char* tty;
    const char* text;
  } cases[] = {
      {"ttyUSB0", "0403:6001 FTDI FT232R USB UART, s/n A50285BI"},
      {"ttyACM0", "2341:0043"},
      {"ttyS1", ""},
      {"ttyS0", ""},
      {"ttyUSB9", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReadUsbAdapter(root.string(), c.tty).Text(), c.text) << c.tty;
  fs::remove_all(root);
}

}  // namespace
