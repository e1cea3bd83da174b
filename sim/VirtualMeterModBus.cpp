// The meter's answers to ModBus RTU requests.
#include <algorithm>

#include "sim/SimCodec.h"
#include "sim/VirtualMeter.h"

namespace metersim {

namespace {

constexpr uint8_t kIllegalAddress = 2;
constexpr uint8_t kIllegalValue = 3;

void Describe(std::span<const uint8_t> f, RequestRecord& r) {
  switch (r.function) {
    case 3:
      r.kind = RequestKind::ReadRegisters;
      r.start = BigEndian16(&f[2]);
      r.length = BigEndian16(&f[4]);
      break;
    case 6:
      r.kind = RequestKind::WriteRegisters;
      r.start = BigEndian16(&f[2]);
      r.length = 1;
      r.writes = true;
      r.data.assign(f.begin() + 4, f.begin() + 6);
      break;
    case 16:
      r.kind = RequestKind::WriteRegisters;
      r.start = BigEndian16(&f[2]);
      r.length = BigEndian16(&f[4]);
      r.writes = true;
      r.data.assign(f.begin() + 7, f.end() - 2);
      break;
    case 17:
      r.kind = RequestKind::Identify;
      break;
    default:
      r.kind = RequestKind::Other;
      break;
  }
}

}  // namespace

std::vector<uint8_t> VirtualMeter::AnswerModBus(const std::vector<uint8_t>& frame,
                                                RequestRecord& r) {
  r.address = frame[0];
  r.function = frame[1];
  Describe(frame, r);
  if (!SpeaksModBus(model_) || r.address != nodes_[0].address) return {};
  r.forMe = true;
  if (!powered_) return {};

  auto& regs = nodes_[0].Area(MemoryArea::Registers);
  const size_t regCount = regs.size() / 2;
  auto exception = [&](uint8_t code) { return ModBusException(r.address, r.function, code); };
  std::vector<uint8_t> out;
  out.reserve(256);
  out.push_back(r.address);
  out.push_back(r.function);
  switch (r.function) {
    case 3: {
      if (r.length < 1 || r.length > 125) return exception(kIllegalValue);
      if (r.start + r.length > regCount) return exception(kIllegalAddress);
      RefreshPresent();
      out.push_back(static_cast<uint8_t>(2 * r.length));
      const auto first = regs.begin() + 2 * r.start;
      out.insert(out.end(), first, first + 2 * r.length);
      break;
    }
    case 6:
      if (r.start >= regCount) return exception(kIllegalAddress);
      std::copy(r.data.begin(), r.data.end(), regs.begin() + 2 * r.start);
      out.assign(frame.begin(), frame.end() - 2);  // the request comes back
      break;
    case 16:
      if (r.length < 1 || r.length > 123 || r.data.size() != 2 * r.length)
        return exception(kIllegalValue);
      if (r.start + r.length > regCount) return exception(kIllegalAddress);
      std::copy(r.data.begin(), r.data.end(), regs.begin() + 2 * r.start);
      out.insert(out.end(), frame.begin() + 2, frame.begin() + 6);  // start and count
      break;
    case 17: {
      // byte count, then the text's length and the text; the whole frame
      // stays within the 256 bytes of an RTU frame.
      const size_t n = std::min<size_t>(idText_.size(), 250);
      out.push_back(static_cast<uint8_t>(n + 1));
      out.push_back(static_cast<uint8_t>(n));
      out.insert(out.end(), idText_.begin(), idText_.begin() + static_cast<std::ptrdiff_t>(n));
      break;
    }
    default:
      return {};
  }
  AppendCrc(out);
  return out;
}

}  // namespace metersim
