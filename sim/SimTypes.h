// Vocabulary of the virtual meters: the models, the line options, the memory
// areas a test can reach, the request log and the faults a meter can be told
// to commit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace metersim {

// One virtual meter per driver. The two-node GDZ-12.07S answers at its
// address a and at a + 1; the two-channel GDZ-12.08 is one ModBus node.
enum class MeterModel { Zfk31, Zfk36, Gdz1207s, Gdz1207s2, Gdz1208, Gdz1208x2 };

// "zfk31", "zfk36", "gdz1207s", "gdz1207s-2", "gdz1208", "gdz1208-2";
// nothing for any other name.
std::optional<MeterModel> ParseMeterModel(std::string_view name);
// Every model's name, in the order above: the one list that the programs
// show and accept.
std::vector<std::string> MeterModelNames();
const char* MeterModelName(MeterModel model);
// True for the GDZ-12.08, which speaks ModBus RTU and is deaf to the 3x protocol.
bool SpeaksModBus(MeterModel model);

struct MeterOptions {
  // Line speed for pacing: every byte takes ten bit times (1.04 ms at 9600).
  uint32_t baud = 9600;
  // Quiet time between the end of a request and the first reply byte.
  uint32_t turnaroundMs = 5;
  // False: a reply arrives whole right after the turnaround (fast tests).
  // Injected gaps and delays still apply; a garbage stream always runs at
  // the line speed, since an endless stream needs some rate.
  bool pacing = true;
};

// Memory a test can read and change byte by byte. Every 3x node has its own
// Rtc2k (2048 bytes), Rtc128 (128), RAM (2048), data flash (65536), security
// block (64) and present values (16, the four values of group 0x0C command
// 0x00). A ModBus meter has the holding registers, two bytes each, high
// byte first: register r is bytes 2r and 2r + 1.
enum class MemoryArea { Rtc2k, Rtc128, Ram, DataFlash, Security, Present, Registers };
constexpr size_t kMemoryAreaCount = 7;
size_t MemoryAreaSize(MemoryArea area);
const char* MemoryAreaName(MemoryArea area);

enum class Protocol { ThreeX, ModBus };

// What a request asks for. Identify covers the 3x identification (0x00 0x00)
// and the ModBus report slave ID (17); Command the single commands 77 77 and
// 77 78; WriteRegisters functions 16 and 6.
enum class RequestKind {
  Identify,
  SoftVersion,
  PresentValues,
  ReadRam,
  WriteRam,
  WriteGmax,
  ReadRtc2k,
  WriteRtc2k,
  ReadRtc128,
  WriteRtc128,
  ReadDataFlash,
  ReadSecurity,
  WriteSecurity,
  Unlock,
  Command,
  ReadRegisters,
  WriteRegisters,
  Other,
};
// Names as in fault texts: "id", "version", "present", "ram-read",
// "ram-write", "gmax-write", "rtc2k-read", "rtc2k-write", "rtc128-read",
// "rtc128-write", "flash-read", "security-read", "security-write", "unlock",
// "command", "read-registers", "write-registers", "other".
std::optional<RequestKind> ParseRequestKind(std::string_view name);
const char* RequestKindName(RequestKind kind);

// One well-formed request frame the meter heard, whoever it was for.
struct RequestRecord {
  Protocol protocol = Protocol::ThreeX;
  uint8_t address = 0;
  uint8_t group = 0;     // 3x only
  uint8_t command = 0;   // 3x only
  uint8_t function = 0;  // ModBus only
  RequestKind kind = RequestKind::Other;
  uint32_t start = 0;          // memory address (3x) or first register (ModBus)
  uint32_t length = 0;         // bytes (3x) or registers (ModBus) to read or write
  bool writes = false;         // changes the meter: memory, registers, Gmax, reset commands
  bool forMe = false;          // addressed to this meter (one of its nodes) in its protocol
  bool replied = false;        // a reply went out (possibly a faulty one)
  std::vector<uint8_t> data;   // bytes to be written: 3x payload after the address, register bytes
  std::vector<uint8_t> frame;  // the request as it came off the line
};

// Faults by name: "silence", "stray", "bad-checksum", "bad-complement", "gap",
// "cut", "long-length", "garbage", "exception", "delay", "hangup",
// "short-reply", and the write and line faults at the end.
enum class FaultKind {
  Silence,        // no reply at all
  Stray,          // count bytes before the reply (value: the byte, else a mix)
  BadChecksum,    // one bit of the 3x checksum or the ModBus CRC flipped
  BadComplement,  // 3x: the address complement does not match (checksum kept right)
  Gap,            // a pause of ms after the first count bytes of the reply
  Cut,            // only the first count bytes of the reply
  LongLength,     // the length byte announces value bytes (3x length; ModBus byte count of
                  // function 3, text length of 17); the bytes sent and the check stay right
  Garbage,        // instead of the reply, garbage without end, until the master sends again
  Exception,      // ModBus: exception reply with code value instead of the answer; a write
                  // so answered is refused, not stored
  Delay,          // the reply starts ms later than the turnaround
  HangUp,         // the line closes after count bytes of the reply
  ShortReply,     // a read answered with count data bytes fewer than asked (3x; ModBus
                  // function 3: whole registers, count rounded up), length and check made to
                  // fit; replies to requests that ask for no length stay as they are

  // Writes and the line: "not-stored", "power-loss", "lost-reply", "echo".
  // The first three hit only requests that change the meter.
  NotStored,  // the write is answered as usual, but memory stays as it was
  PowerLoss,  // the meter dies at the write it hits (after `skip` writes went through):
              // that write is neither stored nor answered, and from then on the meter
              // answers nothing at all until VirtualMeter::PowerOn
  LostReply,  // the write is stored, but its reply never reaches the master
  Echo,       // a two-wire adapter: the request's bytes come back before the reply
  // "exchange": the request it hits is answered as usual, and from then on
  // another meter of the model answers at the address (its serial number
  // differs), as when the engineer swaps meters on the bench.
  Exchange,
};
std::optional<FaultKind> ParseFaultKind(std::string_view name);
const char* FaultKindName(FaultKind kind);
// True for the faults that only a request changing the meter can set off.
bool HitsWritesOnly(FaultKind kind);

// A fault and the requests it hits. A request matches when it is for this
// meter, has a reply, and passes every filter that is set. The first `skip`
// matching requests go through untouched; then the fault hits `times` of
// them (0: all) and retires. With `every` N above 1 it hits only the first of
// each N matching requests after those skipped: "silence:every=2" is a meter
// that misses every other request (a weak transceiver, a busy firmware loop).
struct Fault {
  FaultKind kind = FaultKind::Silence;
  std::optional<uint8_t> address;      // only requests to this address
  std::optional<RequestKind> request;  // only requests of this kind
  std::optional<uint32_t> start;       // only requests at this memory address or register
  uint32_t skip = 0;
  uint32_t times = 0;
  uint32_t count = 0;  // stray, gap, cut, hangup, short: number of bytes
  uint32_t ms = 0;     // gap, delay: milliseconds
  int value = -1;      // stray byte, announced length, exception code
  uint32_t every = 0;  // hits one matching request in `every` (0 and 1: each one)
};

// A fault of this kind with its usual parameters: stray 3 bytes; gap of 200 ms
// after 3 bytes; cut after 4 bytes; hang-up after 3 bytes; long-length 255;
// exception code 2 (illegal data address); delay 500 ms; short-reply 2 bytes
// (one register) fewer; a power loss strikes once (times 1).
Fault MakeFault(FaultKind kind);

// "name[:key=value,...]" with keys addr, kind, start, skip, times, n, ms,
// value, every (numbers decimal or 0x hex), e.g. "cut:n=5,kind=rtc2k-read,times=1".
// Nothing, and a reason in *error, for a text it cannot read.
std::optional<Fault> ParseFault(std::string_view text, std::string* error = nullptr);

}  // namespace metersim
