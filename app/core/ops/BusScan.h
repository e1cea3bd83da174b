// The bus scan: which meters answer on a line, at which addresses, speeds and
// protocols. It only reads: at every address the identification of each
// protocol (3x GetDevID, ModBus report slave ID), and of a meter that answered
// twice alike its serial number through the driver its identification
// selects, as the read would. It runs on the read's port component and
// drivers with its own short time-outs, tells a listener how far it got, and
// stops between two probes when the listener says so.
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
};

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
  void Configure(const ScanTimeouts& timeouts);
  // The identification at addr, or nothing when it did not come back twice
  // alike in valid frames.
  std::optional<std::string> Identify(ScanProtocol protocol, uint8_t addr, uint32_t& replyMs);
  void Describe(FoundMeter& meter, const std::string& raw);

  TlumZfk31 Zfk31;
  TlumZfk36 Zfk36;
  TlumGdz1207s Gdz1207s;
  TlumGdz1208 Gdz1208;
};
