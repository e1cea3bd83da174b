// Helpers shared by the virtual meter tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "sim/MeterSim.h"

namespace simtest {

// "AA 01 FE" -> {0xAA, 0x01, 0xFE}
inline std::vector<uint8_t> Hex(const std::string& text) {
  std::istringstream in(text);
  std::vector<uint8_t> bytes;
  std::string word;
  while (in >> word)
    bytes.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
  return bytes;
}

inline std::string HexText(const std::vector<uint8_t>& bytes) {
  std::string out;
  char buf[4];
  for (uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

// The bytes of every reply the meter plans for these request bytes, joined.
inline std::vector<uint8_t> Ask(metersim::VirtualMeter& meter,
                                const std::vector<uint8_t>& request) {
  std::vector<uint8_t> out;
  for (const auto& plan : meter.Receive(request))
    out.insert(out.end(), plan.bytes.begin(), plan.bytes.end());
  return out;
}

inline std::vector<uint8_t> Ask(metersim::VirtualMeter& meter, const std::string& request) {
  return Ask(meter, Hex(request));
}

// A 3x request built here, apart from the meter's own codec.
inline std::vector<uint8_t> Request3x(uint8_t address, uint8_t group, uint8_t command,
                                      const std::vector<uint8_t>& data = {}) {
  std::vector<uint8_t> f;
  f.reserve(data.size() + 7);
  for (uint8_t b : {uint8_t{0x55}, address, static_cast<uint8_t>(~address), group, command,
                    static_cast<uint8_t>(data.size())})
    f.push_back(b);
  for (uint8_t b : data)
    f.push_back(b);
  unsigned sum = 0;
  for (uint8_t b : f)
    sum += b;
  f.push_back(static_cast<uint8_t>(~sum));
  return f;
}

// The data bytes of a 3x reply frame (after the length byte, before the checksum).
inline std::vector<uint8_t> Data3x(const std::vector<uint8_t>& reply) {
  if (reply.size() < 7) return {};
  return {reply.begin() + 6, reply.end() - 1};
}

// The data of a 3x reply, or of a ModBus reply after its byte count and
// before the CRC.
inline std::vector<uint8_t> Payload(const std::vector<uint8_t>& reply, bool modbus) {
  if (!modbus) return Data3x(reply);
  return reply.size() < 5 ? std::vector<uint8_t>{}
                          : std::vector<uint8_t>(reply.begin() + 3, reply.end() - 2);
}

// ModBus CRC by the textbook bit loop, appended low byte first.
inline std::vector<uint8_t> WithCrc(std::vector<uint8_t> f) {
  uint16_t crc = 0xFFFF;
  for (uint8_t b : f) {
    crc ^= b;
    for (int i = 0; i < 8; ++i)
      crc =
          (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
  }
  f.push_back(static_cast<uint8_t>(crc & 0xFF));
  f.push_back(static_cast<uint8_t>(crc >> 8));
  return f;
}

inline bool CrcOk(const std::vector<uint8_t>& f) {
  if (f.size() < 4) return false;
  return WithCrc({f.begin(), f.end() - 2}) == f;
}

inline bool ChecksumOk(const std::vector<uint8_t>& f) {
  if (f.size() < 7) return false;
  unsigned sum = 0;
  for (size_t i = 0; i + 1 < f.size(); ++i)
    sum += f[i];
  return f.back() == static_cast<uint8_t>(~sum);
}

// A request from hex: 3x group, command and data to `address`, or a ModBus
// frame without its CRC.
inline std::vector<uint8_t> Frame(metersim::MeterModel model, uint8_t address,
                                  const std::string& hex) {
  const auto b = Hex(hex);
  if (metersim::SpeaksModBus(model)) return WithCrc(b);
  return Request3x(address, b[0], b[1], {b.begin() + 2, b.end()});
}

// A scan as the tool would make it: addresses 0 to 20, each asked for its
// identification in 3x and in ModBus through `ask` (request in, reply out).
// One "3x:1 ZFK-31" or "mb:5 BRC" for every good answer.
inline std::vector<std::string> ScanBus(
    const std::function<std::vector<uint8_t>(const std::vector<uint8_t>&)>& ask) {
  std::vector<std::string> found;
  for (uint8_t a = 0; a <= 20; ++a) {
    const auto r = ask(Request3x(a, 0, 0));
    if (ChecksumOk(r) && r[0] == 0xAA && r[1] == a)
      found.push_back("3x:" + std::to_string(a) + " " + std::string(r.begin() + 6, r.end() - 1));
    const auto m = ask(WithCrc({a, 17}));
    if (CrcOk(m) && m.size() > 6 && m[0] == a && m[1] == 17)
      found.push_back("mb:" + std::to_string(a) + " " + std::string(m.begin() + 4, m.end() - 2));
  }
  return found;
}

inline const std::vector<std::string> kScanFinds = {"3x:1 ZFK-31", "mb:5 BRC", "3x:8 GDZ27",
                                                    "3x:9 GDZ27", "3x:17 ZFK-36"};
inline constexpr const char* kScanBus = "zfk31@1,gdz1208@5,gdz1207s-2@8,zfk36@17";

inline std::shared_ptr<metersim::VirtualMeter> Meter(metersim::MeterModel model,
                                                     uint8_t address = 1) {
  metersim::MeterOptions fast;
  fast.pacing = false;
  return std::make_shared<metersim::VirtualMeter>(model, address, fast);
}

}  // namespace simtest
