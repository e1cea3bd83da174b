// A connection to one meter on a line: it owns the port component and the
// four drivers, configures them once from the PortSpec and the catalogue,
// identifies the meter exactly as the read does (3x GetDevID, then ModBus),
// and yields a Meter. Closing the connection closes the port.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/core/line/LineDiagnosis.h"
#include "app/core/line/PortSpec.h"
#include "app/core/meter/Meter.h"
#include "app/core/settings/DevManager.h"
#include "app/core/settings/Settings.h"
#include "comm/LuMComPort.h"
#include "drivers/lumGdz1207s.h"
#include "drivers/lumGdz1208.h"
#include "drivers/lumZfk31.h"
#include "drivers/lumZfk36.h"

// What identifying and configuring take from the settings: the firmware
// table (captions and reference data) and the time-outs of Delays rows 1
// (ZFK-31) and 7 (ZFK-3x).
struct Catalogue {
  std::vector<TVerRecord> verTable = BuiltInVerTable();
  TDelays delays{};
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

class Connection {
 public:
  // The drivers get the PortSpec's address, echo suppression and their
  // design-time time-outs; nothing is opened yet. altRegMapping: a two-channel
  // GDZ-12.08 seen earlier in this run keeps the second register layout.
  Connection(PortSpec spec, const Catalogue& catalogue, bool altRegMapping = false);
  // Points the same components at another line or meter for the next Open:
  // device, speed, address (128..255 are ignored, as the drivers ignore them)
  // and echo suppression; a meter identified before is forgotten. Everything
  // else the components hold (time-outs, AltRegMapping) stays.
  void SetSpec(const PortSpec& spec);
  void SetCatalogue(const Catalogue& catalogue) { catalogue_ = catalogue; }
  // The trace hooks of the port.
  void SetTrace(const LineTrace& trace);
  ~Connection();  // closes the port
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const PortSpec& Spec() const { return spec_; }

  // Opens the port at the PortSpec's speed and applies Delays rows 1 and 7 to the
  // ZFK drivers; false when the port did not open (OpenErrorDetail says why).
  bool Open();
  // The operating system's reason and what to do about it (UTF-8, lines).
  std::string OpenErrorDetail() const;
  // Asks for the 3x identification and dispatches on it; a text no 3x path
  // takes is asked again over ModBus, which must name "BRC" or "TGDZ". A
  // two-channel ModBus meter ("TGDZ2") switches AltRegMapping on. On success
  // the Meter is there.
  const MeterIdentity& Identify();
  const MeterIdentity& Identity() const { return identity_; }
  // When nothing was identified: what the line did and what to check.
  const std::string& LineDiagnosis() const { return lineDiagnosis_; }
  // The identified meter; nullptr before Identify found one.
  Meter* GetMeter() { return meter_.get(); }
  void Close();

  TlumComPort& Port() { return port_; }
  const TlumComPort& Port() const { return port_; }
  // The drivers, for the read's own steps and for tests of their settings.
  TlumZfk31& Zfk31() { return zfk31_; }
  TlumZfk36& Zfk36() { return zfk36_; }
  TlumGdz1207s& Gdz1207s() { return gdz1207s_; }
  TlumGdz1208& Gdz1208() { return gdz1208_; }
  const TlumZfk31& Zfk31() const { return zfk31_; }
  const TlumZfk36& Zfk36() const { return zfk36_; }
  const TlumGdz1207s& Gdz1207s() const { return gdz1207s_; }
  const TlumGdz1208& Gdz1208() const { return gdz1208_; }
  // True when any driver has EWrite on.
  bool AnyWriteEnabled() const;

 private:
  void MakeMeter();

  PortSpec spec_;
  Catalogue catalogue_;
  TlumComPort port_;
  TlumZfk31 zfk31_;
  TlumZfk36 zfk36_;
  TlumGdz1207s gdz1207s_;
  TlumGdz1208 gdz1208_;
  MeterIdentity identity_;
  std::string lineDiagnosis_;
  std::unique_ptr<Meter> meter_;
};

enum class ConnectResult { Ok, PortError, NotFound };

struct Connected {
  ConnectResult result = ConnectResult::NotFound;
  // Always there, so that the caller sees the port and the identification;
  // open and with a meter when Ok.
  std::unique_ptr<Connection> connection;
  std::string message;  // kPortOpenError + the port's name, or kNotFoundError
  std::string detail;   // the open failure's reason, or the line diagnosis
  Meter* meter = nullptr;
};

// Opens the port the PortSpec names and identifies the meter; trace, when set, sees every
// byte from the first.
Connected Connect(const PortSpec& spec, const Catalogue& catalogue, const LineTrace& trace = {},
                  bool altRegMapping = false);
