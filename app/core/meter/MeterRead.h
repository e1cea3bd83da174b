// The read that "Прочитать" runs: connect (open the port, identify the meter),
// then read serial number, coefficients and calibration record through the
// Meter, close the port. What it finds goes into a MeterReading; the view is
// shown each field as soon as it is known. The window, the command line and
// the tests each supply their own view.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/core/line/LineDiagnosis.h"
#include "app/core/line/PortSpec.h"
#include "app/core/meter/Connection.h"
#include "app/core/values/MeterReading.h"
#include "app/core/values/ReadFields.h"

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

// The read keeps its components (the port and the four drivers, in one
// Connection) from one read to the next, as the window owns them: what a read
// leaves in them (a time-out that a later row cannot replace, the second
// register layout of a GDZ-12.08) is there for the next.
class TMeterRead {
 public:
  TMeterRead() = default;
  explicit TMeterRead(Catalogue catalogue) : catalogue_(std::move(catalogue)) {}

  MeterReading BRefreshClick(MeterReadView& view, const PortSpec& spec);

  // The firmware table and the time-outs every connection of this read uses.
  const Catalogue& GetCatalogue() const { return catalogue_; }
  Catalogue& GetCatalogue() { return catalogue_; }
  // Sees every byte of every later read (the command line's --trace).
  void SetOnTrace(LineTrace trace) { trace_ = std::move(trace); }
  // The decimal separator of the shown coefficients.
  void SetDecimalSeparator(char separator) { decimalSeparator_ = separator; }
  // Once a two-channel GDZ-12.08 was read, the second register layout stays
  // on for every later read of this object (as the window's component does).
  bool AltRegMapping() const { return line_.Gdz1208().AltRegMapping(); }
  // The components, their port closed between reads.
  const Connection* LastConnection() const { return &line_; }
  Connection& Line() { return line_; }

 private:
  void RunPath();
  void Show(ReadField field);
  void ShowVerInfo();
  void ReadDeviceNumber();
  void ReadZfk();
  void ReadGdzNode(uint8_t channel, ReadField k0Field, ReadField kuField);
  void ReadGdzSecondNode();
  void ReadModBus();
  void ReadK0(uint8_t channel, float gmax, bool gmaxRead);
  void ReadKu(uint8_t channel);
  bool ReadGmax(uint8_t channel);
  void ReadRecord();
  void ShowRecord();

  Catalogue catalogue_;
  LineTrace trace_;
  char decimalSeparator_ = '.';
  Connection line_{PortSpec{}, catalogue_};
  Meter* meter_ = nullptr;
  MeterReadView* view_ = nullptr;
  MeterReading reading_;
};
