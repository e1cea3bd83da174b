// Why no meter answers: what the line did, told apart into the causes a
// service engineer can act on, and said in Russian with what to check. The
// read explains its own failures with it; "calibrate-cli diagnose" probes the
// line on purpose (identification requests only, nothing that writes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/line/PortList.h"
#include "comm/LuMComPort.h"

// The messages of a line that fails: the port's name follows the first.
inline constexpr const char* kPortOpenError = "Не удалось открыть порт ";
inline constexpr const char* kNotFoundError = "Прибор не найден ";

// One request and every byte that came back before the next one.
struct LineExchange {
  std::vector<uint8_t> sent;
  std::vector<uint8_t> received;
};

// Keeps the exchanges that cross a port while it lives, through the port's
// trace hook; a hook set before (the command line's --trace) still sees every
// byte, and is put back at the end.
class LineRecorder {
 public:
  explicit LineRecorder(TlumCustomComPort& port);
  ~LineRecorder();
  LineRecorder(const LineRecorder&) = delete;
  LineRecorder& operator=(const LineRecorder&) = delete;
  const std::vector<LineExchange>& Exchanges() const { return exchanges_; }

 private:
  TlumCustomComPort& port_;
  TOnTrace previous_;
  std::vector<LineExchange> exchanges_;
};

enum class LineCause {
  Answered,  // a meter identified itself
  Echo,      // the request came back as it was sent (a two-wire adapter)
  NoFrame,   // bytes came, but never a reply: speed, framing, A/B swapped
  Silence,   // not a byte came back
};

// One identification request at one speed and address.
struct LineProbe {
  unsigned baud = 9600;
  unsigned address = 0;
  std::string protocol;  // "3x" or "ModBus"
  LineCause cause = LineCause::Silence;
  bool echoed = false;         // a request came back as sent, answered or not
  size_t bytesReceived = 0;    // everything that came back, echo included
  std::string identification;  // UTF-8, when answered
};

// What exchanges without a valid reply show: the echo wins over other bytes,
// and any byte over silence.
LineCause ClassifyTraffic(const std::vector<LineExchange>& exchanges);
// The probe of exchanges that found no meter.
LineProbe ProbeOf(const std::vector<LineExchange>& exchanges, unsigned baud, unsigned address,
                  std::string protocol);

// The Russian explanation of probes: what was seen and what to check.
// chosenBaud is the speed the user had selected (0: none).
std::string ExplainProbes(const std::vector<LineProbe>& probes, unsigned chosenBaud,
                          bool echoSuppression);

// The Russian explanation of a port that did not open: the system's words,
// then the cause with what to do (the group to join, the ports there are, the
// programs that hold it).
std::string ExplainOpenFailure(const PortOpenError& error, const std::string& device,
                               const std::vector<SerialDeviceInfo>& existing,
                               const std::vector<std::string>& holders);
// A meter that answered with an identification no read path knows (raw, as
// the meter sent it): named, so that nobody goes looking for a line fault.
std::string UnsupportedMeterText(const std::string& identification);

// The same for the port as it failed: asks the system for the rest.
std::string ExplainOpenFailure(const TlumCustomComPort& port);

// Asks the line on purpose: the identification of each protocol at each of
// the speeds and addresses, through the port (closed again at the end).
struct DiagnoseRequest {
  std::vector<unsigned> bauds{9600, 19200};
  std::vector<unsigned> addresses{0};
  bool echoSuppression = false;
};
struct LineDiagnosis {
  bool portOpened = false;
  std::string openFailure;  // the explanation, when it did not open
  std::vector<LineProbe> probes;
  std::string text;  // everything to show
};
LineDiagnosis DiagnoseLine(TlumComPort& port, const DiagnoseRequest& request);
