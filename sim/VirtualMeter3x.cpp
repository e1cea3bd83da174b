// The meter's answers to 3x requests.
#include <algorithm>

#include "sim/SimCodec.h"
#include "sim/VirtualMeter.h"

namespace metersim {

namespace {

// Longest data part of a 3x frame: the whole frame stays within 255 bytes.
constexpr size_t kMaxData = 248;

uint32_t Address16(std::span<const uint8_t> d) {
  return d.size() >= 2 ? BigEndian16(d.data()) : 0;
}

// Fills in what the request asks for, whoever it is addressed to.
void Describe(uint8_t group, uint8_t command, std::span<const uint8_t> d, RequestRecord& r) {
  const uint16_t word = static_cast<uint16_t>((group << 8) | command);
  auto write = [&](RequestKind kind, uint32_t start, size_t skip) {
    r.kind = kind;
    r.start = start;
    r.writes = true;
    if (d.size() >= skip) r.data.assign(d.begin() + static_cast<std::ptrdiff_t>(skip), d.end());
    r.length = static_cast<uint32_t>(r.data.size());
  };
  auto read = [&](RequestKind kind, uint32_t start, uint32_t length) {
    r.kind = kind;
    r.start = start;
    r.length = length;
  };
  switch (word) {
    case 0x0000:
      return read(RequestKind::Identify, 0, 0);
    case 0x0001:
      return read(RequestKind::SoftVersion, 0, 0);
    case 0x0C00:
      return read(RequestKind::PresentValues, 0, 16);
    case 0x0C01:
      return read(RequestKind::ReadRam, Address16(d), d.size() >= 3 ? d[2] : 0);
    case 0x0C81:
      return write(RequestKind::WriteRam, Address16(d), 2);
    case 0x0E10:
    case 0x0E11:
      return write(RequestKind::WriteGmax, command - 0x0Fu, 0);
    case 0x0F01:
      return read(RequestKind::ReadRtc2k, Address16(d), d.size() >= 3 ? d[2] : 0);
    case 0x0F02:
      return read(RequestKind::ReadRtc128, d.empty() ? 0 : d[0], d.size() >= 2 ? d[1] : 0);
    case 0x0F03: {
      uint32_t address = 0;
      for (size_t i = 1; i < 5 && i < d.size(); ++i)
        address = (address << 8) | d[i];
      return read(RequestKind::ReadDataFlash, address, d.empty() ? 0 : d[0]);
    }
    case 0x0F81:
      return write(RequestKind::WriteRtc2k, Address16(d), 2);
    case 0x0F82:
      return write(RequestKind::WriteRtc128, d.empty() ? 0 : d[0], 1);
    case 0x0F91:
      return write(RequestKind::WriteSecurity, 0, 0);
    case 0x0F93:
      return read(RequestKind::ReadSecurity, 0, 64);
    case 0x0FF1:
      return read(RequestKind::Unlock, 0, 0);
    case 0x7777:
    case 0x7778:
      // The coefficient reset commands: they change the meter.
      r.kind = RequestKind::Command;
      r.writes = true;
      return;
    default:
      r.kind = RequestKind::Other;
      r.writes = (command & 0x80) != 0;  // a writing command has the high bit set
      return;
  }
}

// The bytes [start, start + count) of an area, or nothing when they run past
// its end.
bool InArea(const std::vector<uint8_t>& area, uint32_t start, size_t count) {
  return start <= area.size() && count <= area.size() - start;
}

}  // namespace

std::vector<uint8_t> VirtualMeter::Answer3x(const std::vector<uint8_t>& frame,
                                            RequestRecord& record) {
  record.address = frame[1];
  record.group = frame[3];
  record.command = frame[4];
  const auto data = std::span(frame).subspan(6, frame[5]);
  Describe(record.group, record.command, data, record);
  if (SpeaksModBus(model_)) return {};
  Node* node = NodeAt(record.address);
  if (!node) return {};
  record.forMe = true;
  if (!powered_) return {};
  return Do3x(*node, record, data);
}

std::vector<uint8_t> VirtualMeter::Do3x(Node& node, RequestRecord& r, std::span<const uint8_t> d) {
  std::vector<uint8_t> out;
  auto reply = [&](std::span<const uint8_t> bytes) {
    return Reply3x(node.address, r.group, r.command, bytes);
  };
  auto text = [&](const std::string& s) {
    const size_t n = std::min(s.size(), kMaxData);
    return reply({reinterpret_cast<const uint8_t*>(s.data()), n});
  };
  // A read of the area, when the request has the expected length and fits.
  auto readArea = [&](MemoryArea area, size_t requestLength) -> std::vector<uint8_t> {
    const auto& bytes = node.Area(area);
    if (d.size() != requestLength || r.length > kMaxData || !InArea(bytes, r.start, r.length))
      return {};
    return reply(std::span(bytes).subspan(r.start, r.length));
  };
  auto writeArea = [&](MemoryArea area, size_t minLength) -> bool {
    auto& bytes = node.Area(area);
    if (d.size() < minLength || !InArea(bytes, r.start, r.data.size())) return false;
    std::copy(r.data.begin(), r.data.end(), bytes.begin() + r.start);
    return true;
  };
  switch (r.kind) {
    case RequestKind::Identify:
      return d.empty() ? text(idText_) : out;
    case RequestKind::SoftVersion:
      return d.empty() ? text(softVersion_) : out;
    case RequestKind::PresentValues:
      if (!d.empty()) return out;
      RefreshPresent();
      return reply(node.Area(MemoryArea::Present));
    case RequestKind::ReadRam:
      RefreshPresent();
      return readArea(MemoryArea::Ram, 3);
    case RequestKind::ReadRtc2k:
      return readArea(MemoryArea::Rtc2k, 3);
    case RequestKind::ReadRtc128:
      TickClock(node);
      return readArea(MemoryArea::Rtc128, 2);
    case RequestKind::ReadDataFlash:
      return readArea(MemoryArea::DataFlash, 5);
    case RequestKind::ReadSecurity:
      return d.empty() ? reply(node.Area(MemoryArea::Security)) : out;
    case RequestKind::WriteRam:
      return writeArea(MemoryArea::Ram, 2) ? reply({}) : out;
    case RequestKind::WriteRtc2k:
      return writeArea(MemoryArea::Rtc2k, 2) ? reply({}) : out;
    case RequestKind::WriteRtc128:
      // The clock area answers with what it now holds, so the master sees
      // the bytes as the meter took them.
      TickClock(node);
      if (!writeArea(MemoryArea::Rtc128, 1)) return out;
      ClockWritten(node, r.start, r.data.size());
      return reply(std::span(node.Area(MemoryArea::Rtc128)).subspan(r.start, r.data.size()));
    case RequestKind::WriteSecurity:
      return d.size() == 64 && writeArea(MemoryArea::Security, 64) ? reply({}) : out;
    case RequestKind::WriteGmax:
      if (d.size() != 4) return out;
      WriteGmax(node, static_cast<int>(r.start), d);
      return reply({});
    case RequestKind::Unlock:
      return d.empty() ? reply(std::span(&unlockStatus_, 1)) : out;
    case RequestKind::Command:
      // What the meter does on a reset is its own business; the virtual one
      // only confirms with its status byte and leaves memory as it is.
      return d.empty() ? reply(std::span(&commandStatus_, 1)) : out;
    default:
      return out;
  }
}

// Gmax arrives most significant byte first; each model keeps it where its
// main-window read looks for it: ZFK-31 at Rtc2k 204/208 and ZFK-36 at
// 308/312 as they came, GDZ-12.07S at 16/20 least significant byte first.
void VirtualMeter::WriteGmax(Node& node, int channel, std::span<const uint8_t> bigEndian) {
  auto& rtc = node.Area(MemoryArea::Rtc2k);
  const auto offset = static_cast<size_t>(4 * (channel - 1));
  for (size_t i = 0; i < 4; ++i) {
    switch (model_) {
      case MeterModel::Zfk31:
        rtc[204 + offset + i] = bigEndian[i];
        break;
      case MeterModel::Zfk36:
        rtc[308 + offset + i] = bigEndian[i];
        break;
      case MeterModel::Gdz1207s:
      case MeterModel::Gdz1207s2:
        rtc[16 + offset + i] = bigEndian[3 - i];
        break;
      default:
        break;
    }
  }
}

}  // namespace metersim
