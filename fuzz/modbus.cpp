// The ModBus reply assembler, then the engine, receiving whatever a line may
// bring. The first byte of the input picks the operation, the register count
// and the destination's size; the second when the reply starts and how far
// apart its bytes come; the rest is the line.
//
// The assembler takes the whole line, frame after frame, without any I/O.
// Properties: every frame ends with a result within the longest frame a
// header can announce (261 bytes); a valid one is exactly as long as its
// header says and its CRC fits; nothing else than a bad CRC fails.
//
// The engine gets the line byte by byte once the first request is out.
// Properties: the operation ends within a bound set by the time-outs and the
// arrival of the last byte; it ends with a code the engine documents; a
// failed read leaves the caller's buffer untouched, a good one copies no more
// than the buffer holds, and only bytes that were on the line; an
// identification holds no character of code 20 or less.
#include <algorithm>
#include <string>
#include <vector>

#include "FuzzLine.h"
#include "comm/LuMComPort.h"
#include "comm/LumModBusFrame.h"
#include "comm/LumUtils.h"
#include "comm/lumModBusProtocol.h"

using namespace fuzz;

namespace {

constexpr uint8_t kPort = 31;

// The length a reply's header announces, worked out here apart from the
// assembler.
size_t Announced(std::span<const uint8_t> f) {
  switch (f[1]) {
    case 3:
      return f[2] + 5u;
    case 6:
    case 16:
      return 8;
    case 17:
      return f[3] + 6u;
    case 65:
      return 133;
    default:
      return 5;
  }
}

void AssembleAll(std::span<const uint8_t> line) {
  lummodbus::ReplyAssembler reply;
  reply.Start();
  size_t frameStart = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    const auto code = reply.Take(line[i]);
    const size_t taken = i + 1 - frameStart;
    if (!code) {
      FUZZ_CHECK(taken < 261);
      continue;
    }
    FUZZ_CHECK(*code == lumOk || *code == lumErrChecksum);
    const auto frame = line.subspan(frameStart, taken);
    FUZZ_CHECK(taken == Announced(frame));
    const uint16_t crc = Crc16(0xFFFF, frame.first(taken - 2));
    const bool crcFits = frame[taken - 2] == (crc & 0xFF) && frame[taken - 1] == (crc >> 8);
    FUZZ_CHECK(crcFits == (*code == lumOk));
    FUZZ_CHECK(reply.Length() == (*code == lumOk ? taken : 0u));
    FUZZ_CHECK(std::equal(frame.begin(), frame.end(), reply.Buffer().begin()));
    frameStart = i + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t op = in.Byte();
  const uint8_t timing = in.Byte();
  const auto line = in.Rest();
  AssembleAll(line);
  const uint32_t delay = kDelays[timing & 7];
  const uint32_t gap = kGaps[(timing >> 3) & 7];
  const uint8_t attempts = static_cast<uint8_t>(1 + ((timing >> 6) & 3));

  ScopedVirtualTime time;
  auto scripted = ScriptedLine::Create(time.clock);
  ScopedPortBinding unbind{kPort};
  scripted->Bind(kPort);
  bool fed = false;
  uint64_t lastArrival = 0;
  scripted->SetResponder([&](ScriptedLine& l, std::span<const uint8_t>) {
    // ModBus requests go out in one write.
    if (fed) return;
    fed = true;
    lastArrival = time.clock.NowMs() + delay + (line.empty() ? 0 : (line.size() - 1) * gap);
    l.Feed(line, delay, gap);
  });

  TlumComPort port;
  port.SetComPort(kPort);
  FUZZ_CHECK(port.Open());
  TlumModBusProtocol engine;
  SetUpEngine(engine, port, attempts);

  static constexpr uint16_t kCounts[8] = {1, 2, 4, 8, 16, 64, 125, 127};
  const uint16_t count = kCounts[(op >> 2) & 7];
  const size_t room = (op & 0x20) ? count : size_t{count} * 2;
  std::vector<uint8_t> buffer(room, kFill);
  const uint64_t start = time.clock.NowMs();
  uint32_t pause = 100;
  switch (op & 3) {
    case 0:
    case 1: {
      const bool ok = engine.ReadHoldingRegisters(171, count, buffer);
      FUZZ_CHECK(ok == (engine.LastError() == lumOk));
      if (!ok) {
        FUZZ_CHECK(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == kFill; }));
      } else {
        const auto copied =
            std::find_if(buffer.rbegin(), buffer.rend(), [](uint8_t b) { return b != kFill; });
        const size_t n = static_cast<size_t>(buffer.rend() - copied);
        FUZZ_CHECK(CameOffTheLine(std::span<const uint8_t>(buffer).first(n), line));
      }
      break;
    }
    case 2: {
      std::string text = "untouched";
      engine.GetDevID(text);
      pause = 0;
      if (engine.LastError() != lumOk) FUZZ_CHECK(text.empty());
      FUZZ_CHECK(text.size() <= 255);
      FUZZ_CHECK(std::none_of(text.begin(), text.end(),
                              [](char c) { return static_cast<uint8_t>(c) <= 20; }));
      break;
    }
    default: {
      const std::vector<uint8_t> out(size_t{count} * 2, 0x3C);
      const bool ok = engine.WriteMultipleRegisters(200, std::min<uint16_t>(count, 123), out);
      FUZZ_CHECK(ok == (engine.LastError() == lumOk));
      break;
    }
  }
  const uint64_t elapsed = time.clock.NowMs() - start;
  const uint32_t code = engine.LastError();
  // A refusal (an exception reply) ends only a write.
  FUZZ_CHECK(code == lumOk || code == lumErrRead || code == lumErrAddress ||
             code == lumErrChecksum || code == lumErrPacketSize ||
             (code == lumErrRefused && (op & 3) == 3));
  // A write makes one attempt more than a read.
  const uint64_t tries = (op & 3) == 3 ? attempts + 1u : attempts;
  const uint64_t tail = tries * (10 + kPacketMs + 10 + kByteMs + 10 + pause);
  FUZZ_CHECK(elapsed <= std::max<uint64_t>(lastArrival, start) - start + tail);
  port.Close();
  return 0;
}
