// The 3x engine receiving whatever a line may bring. The first byte of the
// input picks the operation, the size of its destination and the attempts;
// the second picks when the reply starts and how far apart its bytes come
// (around the packet and byte time-outs); the rest arrives on the line, byte
// by byte, once the first request is out.
//
// Properties: the operation ends within a bound set by the time-outs and the
// arrival of the last byte; it ends with a code the engine documents; on
// failure the caller's buffer is untouched; on success the data handed over
// lie within the caller's buffer and were on the line as one run of bytes.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "FuzzLine.h"
#include "comm/LuMComPort.h"
#include "comm/LumUtils.h"
#include "comm/lum3xProtocol.h"

using namespace fuzz;

namespace {

constexpr uint8_t kPort = 30;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t op = in.Byte();
  const uint8_t timing = in.Byte();
  const auto line = in.Rest();
  const uint32_t delay = kDelays[timing & 7];
  const uint32_t gap = kGaps[(timing >> 3) & 7];
  const uint8_t attempts = static_cast<uint8_t>(1 + (op >> 6));

  ScopedVirtualTime time;
  auto scripted = ScriptedLine::Create(time.clock);
  ScopedPortBinding unbind{kPort};
  scripted->Bind(kPort);
  bool fed = false;
  uint64_t lastArrival = 0;
  scripted->SetResponder([&](ScriptedLine& l, std::span<const uint8_t> request) {
    // The engine writes a frame byte by byte; answer once the first is whole.
    if (fed || request.size() < 6 || request.size() < size_t{request[5]} + 7) return;
    fed = true;
    lastArrival = time.clock.NowMs() + delay + (line.empty() ? 0 : (line.size() - 1) * gap);
    l.Feed(line, delay, gap);
  });

  TlumComPort port;
  port.SetComPort(kPort);
  FUZZ_CHECK(port.Open());
  Tlum3xProtocol engine;
  SetUpEngine(engine, port, attempts);

  // Destinations sized by the operation, sometimes smaller than asked.
  static constexpr uint8_t kCounts[8] = {0, 1, 4, 8, 16, 64, 248, 255};
  const uint8_t count = kCounts[(op >> 3) & 7];
  const size_t room = (op & 0x20) ? count / 2 : count;
  std::vector<uint8_t> buffer(room, kFill);
  std::string text = "untouched";
  bool readsInto = true;
  const uint64_t start = time.clock.NowMs();
  switch (op & 7) {
    case 0:
      engine.GetDevID(text);
      readsInto = false;
      break;
    case 1:
      engine.GetSoftVer(text);
      readsInto = false;
      break;
    case 2:
      engine.ReadRtc2k(0x0100, buffer, count);
      break;
    case 3:
      engine.ReadRtc128(0x10, buffer, count);
      break;
    case 4:
      engine.ReadDataFlash(0x12345, buffer, count);
      break;
    case 5: {
      buffer.assign(64, kFill);
      engine.ReadSecurity(buffer);
      break;
    }
    case 6: {
      TSfrTek values;
      values.Fields = {1, 2, 3, 4};
      engine.GetSfrTek(values);
      if (engine.LastError() != lumOk)
        FUZZ_CHECK((values.Fields == std::array<uint32_t, 4>{1, 2, 3, 4}));
      readsInto = false;
      break;
    }
    default: {
      // A write: the meter's answer must not reach back into the data.
      const std::vector<uint8_t> out(count, 0x3C);
      engine.WriteRtc2k(0x0200, out, count);
      readsInto = false;
      break;
    }
  }
  const uint64_t elapsed = time.clock.NowMs() - start;
  const uint32_t code = engine.LastError();

  FUZZ_CHECK(code == lumOk || code == lumErrRead || code == lumErrPacketSize ||
             code == lumErrAddress || code == lumErrChecksum);
  // Once the last byte is in, every attempt ends within its first pause, a
  // wait for a byte and the pause after it.
  const uint64_t tail = uint64_t{attempts} * (10 + kPacketMs + 10 + kByteMs + 10 + 200);
  FUZZ_CHECK(elapsed <= std::max<uint64_t>(lastArrival, start) - start + tail);
  if (readsInto) {
    if (code != lumOk) {
      FUZZ_CHECK(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == kFill; }));
    } else {
      // The copy stops at the buffer's end; what it copied was on the line.
      const auto copied =
          std::find_if(buffer.rbegin(), buffer.rend(), [](uint8_t b) { return b != kFill; });
      const size_t n = static_cast<size_t>(buffer.rend() - copied);
      FUZZ_CHECK(n <= buffer.size());
      FUZZ_CHECK(CameOffTheLine(std::span<const uint8_t>(buffer).first(n), line));
    }
  } else if ((op & 7) <= 1) {
    if (code != lumOk)
      FUZZ_CHECK(text.empty());
    else
      FUZZ_CHECK(CameOffTheLine(
          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
          line));
  }
  port.Close();
  return 0;
}
