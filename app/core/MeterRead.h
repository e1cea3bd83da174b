// The read that "Прочитать" runs: open the port, identify the meter, pick the
// driver of its model, read serial number, coefficients and calibration
// record, close the port, and show it all through a view. The window, the
// command line and the tests each supply their own view.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/core/DevManager.h"
#include "app/core/Settings.h"
#include "comm/LuMComPort.h"
#include "drivers/lumGdz1207s.h"
#include "drivers/lumGdz1208.h"
#include "drivers/lumZfk31.h"
#include "drivers/lumZfk36.h"

// The result fields of the window, by their control names.
enum class ReadField { ELicNo, Ek00, Ek10, Ek01, Ek11, EVer, ECRC, EClbLic, EClbDate };
constexpr size_t kReadFieldCount = 9;

// What the read shows; every text is UTF-8.
class MeterReadView {
 public:
  virtual ~MeterReadView() = default;
  virtual void SetFieldText(ReadField field, const std::string& text) = 0;
  // A message box captioned "Ошибка" with the error icon.
  virtual void ShowError(const std::string& message) = 0;
  // EVer, ECRC and their labels.
  virtual void SetVersionControlsVisible(bool visible) = 0;
  virtual void SetDeviceCaption(const std::string& caption) = 0;
  virtual void SetRefreshEnabled(bool enabled) = 0;
  // Lets pending window messages through once.
  virtual void ProcessMessages() = 0;
};

enum class ReadResult { Ok, PortError, NotFound };

// Which way the dispatch went.
enum class ReadPath { None, Zfk31, Zfk36, GdzSingle, GdzDouble, ModBus };

struct ReadOutcome {
  ReadResult result = ReadResult::Ok;
  ReadPath path = ReadPath::None;
  // The text the dispatch decided on, as the meter sent it (code page 1251):
  // the 3x identification, or on the ModBus path the ModBus one.
  std::string identification;
};

// The choices of the connection group.
struct ReadRequest {
  int portIndex = 0;     // CBPort item: port number index + 1; -1 when none
  std::string portText;  // CBPort text, for the message ("COM3"; empty when none)
  int baudIndex = 0;     // CBBaud item: 0 is 9600, anything else 19200
  int netAddr = 0;       // 0..127
};

class TMeterRead {
 public:
  TMeterRead();

  ReadOutcome BRefreshClick(MeterReadView& view, const ReadRequest& request);

  TDelays Delays{};  // rows 1 (ZFK-31) and 7 (ZFK-3x) are applied at each read
  std::vector<TVerRecord> VerTable = BuiltInVerTable();
  char DecimalSeparator = '.';

  TlumComPort lumComPort;
  TlumZfk31 Zfk31;
  TlumZfk36 Zfk36;
  TlumGdz1207s Gdz1207s;
  TlumGdz1208 Gdz1208;

 private:
  ReadPath Dispatch(const std::string& text) const;
  void ShowVerInfo(const std::string& identification);
  template <class Driver>
  void ReadZfk(Driver& driver, uint16_t gmax1, uint16_t gmax2, double k0Divisor,
               uint16_t recordAddress);
  void ReadGdzNode(ReadField k0Field, ReadField kuField);
  void ReadGdzSecondNode();
  void Show(ReadField field, const std::optional<double>& value);
  bool ReadModBus(const std::string& text);
  void ShowRecord();

  template <class Driver>
  void ShowDeviceNumber(Driver& driver);
  std::string Format(double value) const;

  MeterReadView* view_ = nullptr;
  std::array<uint8_t, 16> record_{};
  bool recordRead_ = false;
};

// The record fields as the window shows them (UTF-8).
std::string RecordLicenceText(const std::array<uint8_t, 16>& record);
std::string RecordDateText(const std::array<uint8_t, 16>& record);
