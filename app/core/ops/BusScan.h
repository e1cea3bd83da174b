// The bus scan: which meters answer on a line, at which addresses, speeds and
// protocols. It only reads: at every address the identification of each
// protocol (3x GetDevID, ModBus report slave ID), and of a meter that answered
// twice alike its serial number, twice, through the driver its identification
// selects, as the read would. It runs on the read's port component and
// drivers with its own short time-outs, tells a listener how far it got, and
// stops between two probes when the listener says so.
//
// Each identification probe is one attempt; a probe that meets silence (not
// one byte back) is asked once more before it counts as silent, so that a
// meter that misses a request now and then is still found. The price: an
// empty address costs two waits for silence instead of one (Settings.h has
// the figures). A reply that came but fails its checksum or CRC is not a
// meter, and is not asked again.
//
// Two meters set to one address answer together and talk over each other.
// The scan reports "конфликт адресов" there, never a meter, when it sees
// what only two senders give: identifications that differ between probes; a
// whole frame with more reply bytes right behind it (the other sender's
// reply, or the tail of the longer one); or a meter that identifies alike
// but whose serial numbers differ between two reads or never come back
// whole (two meters of one model, whose identifications coincide and whose
// serial numbers collide). Two meters whose every reply collides into a frame
// of the right length with a wrong check look like one meter with a broken
// check: nothing is reported there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/core/line/PortSpec.h"
#include "app/core/settings/DevManager.h"
#include "app/core/settings/Settings.h"
#include "comm/LuMComPort.h"
#include "drivers/lumGdz1207s.h"
#include "drivers/lumGdz1208.h"
#include "drivers/lumZfk31.h"
#include "drivers/lumZfk36.h"

enum class ScanProtocol { ThreeX, ModBus };
// "3x" or "modbus", the names the command line takes.
const char* ScanProtocolName(ScanProtocol protocol);

struct ScanRequest {
  PortSpec port;  // its device and name; speed and address are the scan's own
  std::vector<uint32_t> bauds{9600, 19200};
  int from = 0;  // addresses from..to, within 0..127
  int to = 127;
  std::vector<ScanProtocol> protocols{ScanProtocol::ThreeX, ScanProtocol::ModBus};
  ScanTimeouts timeouts;
};

// What answers at an address: a meter, or more than one sender at once.
enum class FoundState { Meter, AddressConflict };
// The words for an address conflict, wherever it is shown.
inline constexpr const char* kAddressConflictText = "конфликт адресов";
// "meter" or "address_conflict", the names the command line's JSON and CSV use.
const char* FoundStateName(FoundState state);

struct FoundMeter {
  uint8_t address = 0;
  std::optional<uint8_t> secondAddress;  // the second node of a GDZ-12.07S-2
  uint32_t baud = 9600;
  ScanProtocol protocol = ScanProtocol::ThreeX;
  std::string identification;  // UTF-8
  std::string caption;         // the firmware table's model caption; empty when unknown
  std::string model;           // the Latin model name; empty for a model not driven
  std::string serial;          // UTF-8; empty when it did not come
  uint32_t replyMs = 0;        // the first identification's request to reply
  // AddressConflict: identification, caption and model are what one probe
  // saw (empty when no probe came back whole), and serial stays empty.
  FoundState state = FoundState::Meter;
};

// The identification as the window's table and the command line's show it: a
// conflict says so first, then what one of its senders said, if anything
// ("конфликт адресов (ZFK-31)").
std::string ScanIdentificationText(const FoundMeter& meter);

struct ScanProgress {
  uint32_t baud = 9600;
  ScanProtocol protocol = ScanProtocol::ThreeX;
  int address = 0;
  size_t found = 0;  // meters found so far
};

class ScanListener {
 public:
  virtual ~ScanListener() = default;
  // Before each address's probe.
  virtual void OnProgress(const ScanProgress&) {}
  virtual void OnFound(const FoundMeter&) {}
  // Asked between probes; true ends the scan there.
  virtual bool Cancelled() { return false; }
};

enum class ScanResult { Done, Cancelled, PortError };

struct ScanOutcome {
  ScanResult result = ScanResult::Done;
  std::vector<FoundMeter> meters;
  std::string error;  // the port's message on PortError
};

class TBusScan {
 public:
  TBusScan();
  ScanOutcome Run(const ScanRequest& request, ScanListener& listener);

  std::vector<TVerRecord> VerTable = BuiltInVerTable();
  TlumComPort lumComPort;

 private:
  // One identification probe: nothing came back, something came that is not
  // a valid identification, or one came (its text).
  struct Probe {
    enum Kind { Silent, Garbled, Answer } kind = Silent;
    std::string text;
    bool followed = false;  // a whole frame, and more reply bytes right behind it
    uint32_t ms = 0;        // request to reply
  };

  void Configure(const ScanTimeouts& timeouts);
  Probe Ask(ScanProtocol protocol, uint8_t addr);
  // Ask, and once more when the first meets silence.
  Probe AskAgainIfSilent(ScanProtocol protocol, uint8_t addr);
  // What answers at meter.address in meter.protocol: nothing; a meter that
  // identified twice alike (its text in raw); or an address conflict.
  std::optional<FoundState> Identify(FoundMeter& meter, std::string& raw);
  void Describe(FoundMeter& meter, const std::string& raw);
  // The serial number read twice; nothing when the two reads tell of two
  // meters (they differ, or a reply never checked out).
  template <class Driver>
  std::optional<std::string> SerialOf(Driver& driver);

  TlumZfk31 Zfk31;
  TlumZfk36 Zfk36;
  TlumGdz1207s Gdz1207s;
  TlumGdz1208 Gdz1208;
  uint32_t byteMs_ = 20;  // the scan's byte time-out
};
