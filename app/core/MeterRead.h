// The read that "Прочитать" runs: open the port, identify the meter, pick the
// driver of its model, read serial number, coefficients and calibration
// record, close the port. What it finds goes into a MeterReading; the view is
// shown each field as soon as it is known. The window, the command line and
// the tests each supply their own view.
#pragma once

#include <string>
#include <vector>

#include "app/core/DevManager.h"
#include "app/core/LineDiagnosis.h"
#include "app/core/MeterReading.h"
#include "app/core/ReadFields.h"
#include "app/core/Settings.h"
#include "comm/LuMComPort.h"
#include "drivers/lumGdz1207s.h"
#include "drivers/lumGdz1208.h"
#include "drivers/lumZfk31.h"
#include "drivers/lumZfk36.h"

// The read's error messages.
inline constexpr const char* kPortOpenError = "Не удалось открыть порт ";
inline constexpr const char* kNotFoundError = "Прибор не найден ";

// What the read shows; every text is UTF-8.
class MeterReadView {
 public:
  virtual ~MeterReadView() = default;
  virtual void SetFieldText(ReadField field, const std::string& text) = 0;
  // A message box captioned "Ошибка" with the error icon; detail, when not
  // empty, is what the read saw and what to check (the box's detail part).
  virtual void ShowError(const std::string& message, const std::string& detail = {}) = 0;
  // EVer, ECRC and their labels.
  virtual void SetVersionControlsVisible(bool visible) = 0;
  virtual void SetDeviceCaption(const std::string& caption) = 0;
  virtual void SetRefreshEnabled(bool enabled) = 0;
  // Lets pending window messages through once.
  virtual void ProcessMessages() = 0;
};

// The choices of the connection group.
struct ReadRequest {
  int portIndex = 0;     // CBPort item: port number index + 1; -1 when none
  std::string portText;  // CBPort text, for the message ("COM3"; empty when none)
  int baudIndex = 0;     // CBBaud item: 0 is 9600, anything else 19200
  int netAddr = 0;       // 0..127
};

// The path a 3x identification selects: the first entry whose text it
// contains; anything else is asked again over ModBus.
ReadPath Dispatch(const std::string& identification);

// What identifying a meter found: the path, the text that decided it, and
// whether a ModBus meter has two channels.
struct MeterIdentity {
  ReadPath path = ReadPath::None;  // None: no meter recognised
  std::string identification;      // code page 1251
  bool twoChannels = false;
};

// The reference row of firmware.ini (or the built-in table) for a meter.
const TVerRecord* FindReference(const std::vector<TVerRecord>& table,
                                const std::string& identification);
FirmwareReference ReferenceOf(const TVerRecord* row);

class TMeterRead {
 public:
  TMeterRead();

  MeterReading BRefreshClick(MeterReadView& view, const ReadRequest& request);

  // The read's first steps, for other operations on the same meter (the
  // snapshot). Gives every driver the address (0..127; anything else leaves
  // the drivers' addresses as they are) and returns it.
  uint8_t SetNetAddr(int netAddr);
  // Opens the port of the request at its speed and applies Delays rows 1 and
  // 7 to the ZFK drivers; false when the port did not open.
  bool OpenPort(const ReadRequest& request);
  // Asks for the 3x identification and dispatches on it; a text no 3x path
  // takes is asked again over ModBus, which must name "BRC" or "TGDZ". A
  // two-channel ModBus meter ("TGDZ2") switches AltRegMapping on.
  MeterIdentity Identify();

  TDelays Delays{};  // rows 1 (ZFK-31) and 7 (ZFK-3x) are applied at each read
  std::vector<TVerRecord> VerTable = BuiltInVerTable();
  char DecimalSeparator = '.';
  // The line echoes each request ([Line] Echo): all four drivers read it off.
  bool EchoSuppression = false;

  TlumComPort lumComPort;
  TlumZfk31 Zfk31;
  TlumZfk36 Zfk36;
  TlumGdz1207s Gdz1207s;
  TlumGdz1208 Gdz1208;

 private:
  bool Open(const ReadRequest& request);
  void RunPath(bool twoChannels);
  void Show(ReadField field);
  void ShowVerInfo();
  template <class Driver>
  void ReadDeviceNumber(Driver& driver);
  template <class Driver>
  void ReadZfk(Driver& driver);
  void ReadGdzNode(ChannelReading& channel, ReadField k0Field, ReadField kuField);
  void ReadGdzSecondNode();
  void ReadModBus(bool twoChannels);
  template <class Driver>
  void ReadRecord(Driver& driver);
  void ShowRecord();

  std::vector<LineExchange> identifyTraffic_;  // the 3x identification's, when it failed
  MeterReadView* view_ = nullptr;
  MeterReading reading_;
};
