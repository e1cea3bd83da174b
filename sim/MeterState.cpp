#include "sim/MeterState.h"

#include <cctype>
#include <cstdio>
#include <sstream>
#include <vector>

namespace metersim {

namespace {

constexpr const char* kHeader = "calibrate-demo-state 1";

// Two changed runs closer than this are kept as one line: a coefficient
// block rewritten in part would otherwise be a line per float.
constexpr size_t kJoinWithin = 8;

// Every area but the present values, which a read makes anew.
constexpr MemoryArea kKept[] = {MemoryArea::Rtc2k,     MemoryArea::Rtc128,   MemoryArea::Ram,
                                MemoryArea::DataFlash, MemoryArea::Security, MemoryArea::Registers};

// The clock's bytes lead Rtc128; a restarted demo's clock runs from now.
size_t FirstKept(MemoryArea area) {
  return area == MemoryArea::Rtc128 ? kClockBytes : 0;
}

std::string ModelsLine(std::span<const std::shared_ptr<VirtualMeter>> meters) {
  std::string line = kHeader;
  for (const auto& meter : meters)
    line += std::string(" ") + MeterModelName(meter->Model());
  return line;
}

std::string Hex(std::span<const uint8_t> bytes) {
  std::string text;
  char two[3];
  for (uint8_t b : bytes) {
    std::snprintf(two, sizeof two, "%02X", b);
    text += two;
  }
  return text;
}

std::optional<std::vector<uint8_t>> FromHex(const std::string& text) {
  if (text.empty() || text.size() % 2) return std::nullopt;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    if (!std::isxdigit(static_cast<unsigned char>(text[i])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
        std::sscanf(text.c_str() + i, "%2x", &value) != 1)
      return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return bytes;
}

std::optional<MemoryArea> AreaNamed(const std::string& name) {
  for (MemoryArea area : kKept)
    if (name == MemoryAreaName(area)) return area;
  return std::nullopt;
}

// The lines of one node's area: each run of bytes that differs from `was`.
void AddChanges(std::string& text, const std::string& where, MemoryArea area,
                const std::vector<uint8_t>& now, const std::vector<uint8_t>& was) {
  const auto changed = [&](size_t i) { return i >= was.size() || now[i] != was[i]; };
  for (size_t i = FirstKept(area); i < now.size();) {
    if (!changed(i)) {
      ++i;
      continue;
    }
    size_t end = i + 1;
    for (size_t j = end; j < now.size() && j < end + kJoinWithin; ++j)
      if (changed(j)) end = j + 1;
    text += where + " " + MemoryAreaName(area) + " " + std::to_string(i) + " " +
            Hex(std::span(now).subspan(i, end - i)) + "\n";
    i = end;
  }
}

struct Change {
  size_t meter, node;
  MemoryArea area;
  uint32_t offset;
  std::vector<uint8_t> bytes;
};

}  // namespace

std::string MetersStateText(std::span<const std::shared_ptr<VirtualMeter>> meters) {
  std::string text = ModelsLine(meters) + "\n";
  for (size_t m = 0; m < meters.size(); ++m) {
    const VirtualMeter& meter = *meters[m];
    const VirtualMeter fresh(meter.Model(), meter.Address());
    for (size_t node = 0; node < meter.NodeCount(); ++node)
      for (MemoryArea area : kKept)
        AddChanges(text, std::to_string(m) + " " + std::to_string(node), area,
                   meter.Read(area, 0, MemoryAreaSize(area), node),
                   fresh.Read(area, 0, MemoryAreaSize(area), node));
  }
  return text;
}

bool LoadMetersState(std::span<const std::shared_ptr<VirtualMeter>> meters, std::string_view text,
                     std::string& error) {
  std::istringstream in{std::string(text)};
  std::string line;
  if (!std::getline(in, line) || line != ModelsLine(meters)) {
    error = "это состояние не этих приборов: " + ModelsLine(meters).substr(std::string(kHeader).size() + 1);
    return false;
  }
  // Every line checked before the first byte is put in.
  std::vector<Change> changes;
  for (int number = 2; std::getline(in, line); ++number) {
    std::istringstream fields(line);
    Change c{};
    std::string area, hex, rest;
    fields >> c.meter >> c.node >> area >> c.offset >> hex;
    const auto kind = AreaNamed(area);
    const auto bytes = FromHex(hex);
    if (!fields || (fields >> rest) || c.meter >= meters.size() ||
        c.node >= meters[c.meter]->NodeCount() || !kind || !bytes || c.offset < FirstKept(*kind) ||
        c.offset + bytes->size() > MemoryAreaSize(*kind)) {
      error = "строка " + std::to_string(number) + " — не изменение этих приборов";
      return false;
    }
    c.area = *kind;
    c.bytes = *bytes;
    changes.push_back(std::move(c));
  }
  for (const Change& c : changes)
    meters[c.meter]->Write(c.area, c.offset, c.bytes, c.node);
  return true;
}

}  // namespace metersim
