// The seam under the serial port component: one small interface that the real
// platform devices (termios, Win32), the scripted devices of the tests and the
// in-process virtual meter all implement.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;  // closes the device

  // Discards everything in the input and output queues.
  virtual void Purge() = 0;
  // Writes every byte; false on an error or a short write.
  virtual bool Write(std::span<const uint8_t> bytes) = 0;
  // Takes one waiting byte without blocking; false when none is waiting or the
  // device failed.
  virtual bool ReadByte(uint8_t& byte) = 0;
  // Blocks until input is waiting or timeoutMs has passed; true when input is
  // waiting. A device that has failed waits out the time and returns false.
  virtual bool WaitForInput(uint32_t timeoutMs) = 0;
};

using SerialDeviceFactory = std::function<std::unique_ptr<SerialDevice>(uint32_t baudRate)>;

// Why a port could not be opened, in the few classes a user can act on.
enum class PortOpenFailure {
  None,              // it opened (or no open was tried yet)
  NotFound,          // no such device
  PermissionDenied,  // the user may not use it
  Busy,              // another program holds it
  Other,             // anything else: not a serial line, a driver error, ...
};

struct PortOpenError {
  PortOpenFailure kind = PortOpenFailure::None;
  // The operating system's own words for the failure (its language).
  std::string systemText;
  // Permission denied on Linux: the group that owns the device, when its
  // members may read and write it ("dialout"); empty when the device's mode
  // lets no group in, and on other systems.
  std::string group;
};

namespace lum {

// Opens a device of this platform by name, raw 8N1 at baudRate, without flow
// control; nullptr when it cannot be opened, and then the reason in *error
// when given. Implemented once per platform.
std::unique_ptr<SerialDevice> OpenPlatformSerial(const std::string& name, uint32_t baudRate,
                                                 PortOpenError* error = nullptr);

// The platform's name for port number n when nothing is bound to it:
// "\\.\COMn" on Windows, /dev/ttyS{n-1} elsewhere.
std::string DefaultSerialPortName(uint8_t port);

// Virtual devices by name (the in-process demo meter, tests' scripted lines):
// a name registered here opens its factory instead of a platform device.
void RegisterSerialDevice(const std::string& name, SerialDeviceFactory factory);
void UnregisterSerialDevice(const std::string& name);

// Opens the device called name: a registered virtual device, else the
// platform's device of that name; nullptr on failure, with the reason in
// *error when given.
std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& name, uint32_t baudRate,
                                               PortOpenError* error = nullptr);

// Port numbers can be bound, for the rest of the run, to a device path (the
// port map, --port PATH) or to a factory (tests, the in-process demo meter).
void BindSerialPortPath(uint8_t port, std::string path);
void BindSerialPortDevice(uint8_t port, SerialDeviceFactory factory);
void UnbindSerialPort(uint8_t port);

// The name port n opens: its bound path, else the platform default. A port
// bound to a factory is named "COMn".
std::string SerialPortName(uint8_t port);

// Opens port n through its binding or the platform; nullptr on failure, with
// the reason in *error when given (a bound factory that fails is Other).
std::unique_ptr<SerialDevice> OpenSerialPort(uint8_t port, uint32_t baudRate,
                                             PortOpenError* error = nullptr);

}  // namespace lum
