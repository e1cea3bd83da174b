#include "sim/SimTypes.h"

#include <array>
#include <charconv>
#include <utility>

namespace metersim {

namespace {

constexpr std::array<std::pair<MeterModel, const char*>, 6> kModels{{
    {MeterModel::Zfk31, "zfk31"},
    {MeterModel::Zfk36, "zfk36"},
    {MeterModel::Gdz1207s, "gdz1207s"},
    {MeterModel::Gdz1207s2, "gdz1207s-2"},
    {MeterModel::Gdz1208, "gdz1208"},
    {MeterModel::Gdz1208x2, "gdz1208-2"},
}};

constexpr std::array<std::pair<RequestKind, const char*>, 18> kKinds{{
    {RequestKind::Identify, "id"},
    {RequestKind::SoftVersion, "version"},
    {RequestKind::PresentValues, "present"},
    {RequestKind::ReadRam, "ram-read"},
    {RequestKind::WriteRam, "ram-write"},
    {RequestKind::WriteGmax, "gmax-write"},
    {RequestKind::ReadRtc2k, "rtc2k-read"},
    {RequestKind::WriteRtc2k, "rtc2k-write"},
    {RequestKind::ReadRtc128, "rtc128-read"},
    {RequestKind::WriteRtc128, "rtc128-write"},
    {RequestKind::ReadDataFlash, "flash-read"},
    {RequestKind::ReadSecurity, "security-read"},
    {RequestKind::WriteSecurity, "security-write"},
    {RequestKind::Unlock, "unlock"},
    {RequestKind::Command, "command"},
    {RequestKind::ReadRegisters, "read-registers"},
    {RequestKind::WriteRegisters, "write-registers"},
    {RequestKind::Other, "other"},
}};

constexpr std::array<std::pair<FaultKind, const char*>, 12> kFaults{{
    {FaultKind::Silence, "silence"},
    {FaultKind::Stray, "stray"},
    {FaultKind::BadChecksum, "bad-checksum"},
    {FaultKind::BadComplement, "bad-complement"},
    {FaultKind::Gap, "gap"},
    {FaultKind::Cut, "cut"},
    {FaultKind::LongLength, "long-length"},
    {FaultKind::Garbage, "garbage"},
    {FaultKind::Exception, "exception"},
    {FaultKind::Delay, "delay"},
    {FaultKind::HangUp, "hangup"},
    {FaultKind::ShortReply, "short-reply"},
}};

// Faults of writes and of the line, kept apart from the reply faults above.
constexpr std::array<std::pair<FaultKind, const char*>, 5> kWriteFaults{{
    {FaultKind::NotStored, "not-stored"},
    {FaultKind::PowerLoss, "power-loss"},
    {FaultKind::LostReply, "lost-reply"},
    {FaultKind::Echo, "echo"},
    {FaultKind::Exchange, "exchange"},
}};

constexpr std::array<std::pair<MemoryArea, const char*>, kMemoryAreaCount> kAreas{{
    {MemoryArea::Rtc2k, "rtc2k"},
    {MemoryArea::Rtc128, "rtc128"},
    {MemoryArea::Ram, "ram"},
    {MemoryArea::DataFlash, "flash"},
    {MemoryArea::Security, "security"},
    {MemoryArea::Present, "present"},
    {MemoryArea::Registers, "registers"},
}};

template <typename E, size_t N>
std::optional<E> Find(const std::array<std::pair<E, const char*>, N>& table,
                      std::string_view name) {
  for (const auto& [value, text] : table)
    if (name == text) return value;
  return std::nullopt;
}

template <typename E, size_t N>
const char* NameOf(const std::array<std::pair<E, const char*>, N>& table, E value) {
  for (const auto& [v, text] : table)
    if (v == value) return text;
  return "?";
}

std::optional<uint32_t> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

bool Fail(std::string* error, std::string reason) {
  if (error) *error = std::move(reason);
  return false;
}

// Applies one "key=value" of a fault text.
bool ApplyOption(Fault& fault, std::string_view option, std::string* error) {
  const size_t eq = option.find('=');
  if (eq == std::string_view::npos)
    return Fail(error, "expected key=value: " + std::string(option));
  const std::string_view key = option.substr(0, eq);
  const std::string_view text = option.substr(eq + 1);
  if (key == "kind") {
    fault.request = ParseRequestKind(text);
    return fault.request ? true : Fail(error, "unknown request kind: " + std::string(text));
  }
  const auto number = ParseNumber(text);
  if (!number) return Fail(error, "not a number: " + std::string(option));
  if (key == "addr") {
    if (*number > 255) return Fail(error, "address out of range: " + std::string(text));
    fault.address = static_cast<uint8_t>(*number);
  } else if (key == "start") {
    fault.start = *number;
  } else if (key == "skip") {
    fault.skip = *number;
  } else if (key == "times") {
    fault.times = *number;
  } else if (key == "n") {
    fault.count = *number;
  } else if (key == "ms") {
    fault.ms = *number;
  } else if (key == "value") {
    if (*number > 255) return Fail(error, "value out of range: " + std::string(text));
    fault.value = static_cast<int>(*number);
  } else if (key == "every") {
    fault.every = *number;
  } else {
    return Fail(error, "unknown key: " + std::string(key));
  }
  return true;
}

}  // namespace

std::optional<MeterModel> ParseMeterModel(std::string_view name) {
  return Find(kModels, name);
}
std::vector<std::string> MeterModelNames() {
  std::vector<std::string> names;
  for (const auto& [model, name] : kModels)
    names.emplace_back(name);
  return names;
}
const char* MeterModelName(MeterModel model) {
  return NameOf(kModels, model);
}
bool SpeaksModBus(MeterModel model) {
  return model == MeterModel::Gdz1208 || model == MeterModel::Gdz1208x2;
}

size_t MemoryAreaSize(MemoryArea area) {
  switch (area) {
    case MemoryArea::Rtc2k:
      return 2048;
    case MemoryArea::Rtc128:
      return 128;
    case MemoryArea::Ram:
      return 2048;
    case MemoryArea::DataFlash:
      return 65536;
    case MemoryArea::Security:
      return 64;
    case MemoryArea::Present:
      return 16;
    case MemoryArea::Registers:
      return 2 * 400;
  }
  return 0;
}
const char* MemoryAreaName(MemoryArea area) {
  return NameOf(kAreas, area);
}

std::optional<RequestKind> ParseRequestKind(std::string_view name) {
  return Find(kKinds, name);
}
const char* RequestKindName(RequestKind kind) {
  return NameOf(kKinds, kind);
}

std::optional<FaultKind> ParseFaultKind(std::string_view name) {
  if (const auto kind = Find(kFaults, name)) return kind;
  return Find(kWriteFaults, name);
}
const char* FaultKindName(FaultKind kind) {
  const char* name = NameOf(kFaults, kind);
  return name[0] != '?' ? name : NameOf(kWriteFaults, kind);
}
bool HitsWritesOnly(FaultKind kind) {
  return kind == FaultKind::NotStored || kind == FaultKind::PowerLoss ||
         kind == FaultKind::LostReply;
}

Fault MakeFault(FaultKind kind) {
  Fault fault;
  fault.kind = kind;
  switch (kind) {
    case FaultKind::Stray:
      fault.count = 3;
      break;
    case FaultKind::Gap:
      fault.count = 3;
      fault.ms = 200;
      break;
    case FaultKind::Cut:
      fault.count = 4;
      break;
    case FaultKind::HangUp:
      fault.count = 3;
      break;
    case FaultKind::LongLength:
      fault.value = 255;
      break;
    case FaultKind::Exception:
      fault.value = 2;
      break;
    case FaultKind::Delay:
      fault.ms = 500;
      break;
    case FaultKind::PowerLoss:
      fault.times = 1;
      break;
    case FaultKind::ShortReply:
      fault.count = 2;
      break;
    default:
      break;
  }
  return fault;
}

std::optional<Fault> ParseFault(std::string_view text, std::string* error) {
  const size_t colon = text.find(':');
  const std::string_view name = text.substr(0, colon);
  const auto kind = ParseFaultKind(name);
  if (!kind) {
    Fail(error, "unknown fault: " + std::string(name));
    return std::nullopt;
  }
  Fault fault = MakeFault(*kind);
  if (colon == std::string_view::npos) return fault;
  std::string_view rest = text.substr(colon + 1);
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    if (!ApplyOption(fault, rest.substr(0, comma), error)) return std::nullopt;
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return fault;
}

}  // namespace metersim
