#include <map>
#include <mutex>
#include <variant>

#include "SerialDevice.h"

namespace {

using Binding = std::variant<std::string, SerialDeviceFactory>;

std::mutex mutex;
std::map<uint8_t, Binding> bindings;
std::map<std::string, SerialDeviceFactory> named;

std::unique_ptr<SerialDevice> OpenFactory(const SerialDeviceFactory& factory, uint32_t baudRate,
                                          PortOpenError* error) {
  auto device = factory(baudRate);
  if (!device && error) *error = {PortOpenFailure::Other, {}, {}};
  return device;
}

}  // namespace

namespace lum {

void BindSerialPortPath(uint8_t port, std::string path) {
  std::lock_guard lock(mutex);
  bindings[port] = std::move(path);
}

void BindSerialPortDevice(uint8_t port, SerialDeviceFactory factory) {
  std::lock_guard lock(mutex);
  bindings[port] = std::move(factory);
}

void RegisterSerialDevice(const std::string& name, SerialDeviceFactory factory) {
  std::lock_guard lock(mutex);
  named[name] = std::move(factory);
}

void UnregisterSerialDevice(const std::string& name) {
  std::lock_guard lock(mutex);
  named.erase(name);
}

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& name, uint32_t baudRate,
                                               PortOpenError* error) {
  SerialDeviceFactory factory;
  {
    std::lock_guard lock(mutex);
    if (auto it = named.find(name); it != named.end()) factory = it->second;
  }
  if (factory) return OpenFactory(factory, baudRate, error);
  return OpenPlatformSerial(name, baudRate, error);
}

void UnbindSerialPort(uint8_t port) {
  std::lock_guard lock(mutex);
  bindings.erase(port);
}

std::string SerialPortName(uint8_t port) {
  std::lock_guard lock(mutex);
  auto it = bindings.find(port);
  if (it == bindings.end()) return DefaultSerialPortName(port);
  if (auto* path = std::get_if<std::string>(&it->second)) return *path;
  return "COM" + std::to_string(port);
}

std::unique_ptr<SerialDevice> OpenSerialPort(uint8_t port, uint32_t baudRate,
                                             PortOpenError* error) {
  SerialDeviceFactory factory;
  {
    std::lock_guard lock(mutex);
    auto it = bindings.find(port);
    if (it != bindings.end()) {
      if (auto* f = std::get_if<SerialDeviceFactory>(&it->second)) factory = *f;
    }
  }
  if (!factory) return OpenSerialDevice(SerialPortName(port), baudRate, error);
  return OpenFactory(factory, baudRate, error);
}

}  // namespace lum
