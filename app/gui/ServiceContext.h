// What every view of the service window works through. The service window acts
// on the meter the main window read last, with the main window's port component
// and drivers (TMeterRead), so that a write goes where the read went; and one
// operation runs at a time: while a view talks to the meter, the main window's
// read and the other views wait.
#pragma once

#include <functional>
#include <string>

#include "app/core/GuardedWrite.h"
#include "app/core/MeterRead.h"
#include "app/core/MeterReading.h"
#include "app/service/ReadJournal.h"

struct ServiceContext {
  // The main window's read: its port component, drivers, Delays and table.
  TMeterRead* read = nullptr;
  // The port, speed and address of the meter the last read identified.
  std::function<ReadRequest()> request;
  // What the last read found (path, model, serial number, coefficients).
  std::function<const MeterReading&()> lastReading;
  // Takes the meter for one operation: false when another operation holds
  // it; otherwise the main window's read is disabled until Release.
  std::function<bool()> acquire;
  std::function<void()> release;
  // The journal as the settings file has it now (on or off, folder, engineer),
  // and its change from the window, saved to the settings file at once.
  std::function<JournalSettings()> journal;
  std::function<void(const JournalSettings&)> setJournal;
  // Called after every guarded write the window ran (verified, failed or
  // refused), with the operation's record: the journal files it.
  std::function<void(WriteKind, const WriteOutcome&)> written;
  // The program's name for the journal ("calibrate 1.1") and whether the
  // meter of this run is a virtual one (its events and reports say "ДЕМО").
  std::string program;
  bool demo = false;
};

// Holds the meter for one operation and gives it back, whatever happens.
class ServiceOperation {
 public:
  explicit ServiceOperation(const ServiceContext& c) : c_(c), held_(c.acquire && c.acquire()) {}
  ~ServiceOperation() {
    if (held_ && c_.release) c_.release();
  }
  ServiceOperation(const ServiceOperation&) = delete;
  ServiceOperation& operator=(const ServiceOperation&) = delete;
  // False when another operation runs: do nothing and say so.
  bool Held() const { return held_; }

 private:
  const ServiceContext& c_;
  bool held_;
};
