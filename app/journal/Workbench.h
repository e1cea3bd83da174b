// What the windows of one run of the program share: the settings file, the
// catalogue every connection uses (firmware table, time-outs), the line the
// main window has chosen, the meter its last read found and where, the one
// operation that may talk to a meter at a time, and the journal. main() owns
// it; the main window and the service window with its views work through it,
// so that a write goes where the read went and never while another operation
// has the meter. No toolkit: the window is only one of its users.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/core/line/PortSpec.h"
#include "app/core/meter/Connection.h"
#include "app/core/ops/GuardedWrite.h"
#include "app/core/settings/Settings.h"
#include "app/core/values/MeterReading.h"
#include "app/core/values/MeterSnapshot.h"
#include "app/journal/JournalWriteRecorder.h"
#include "app/journal/ReadJournal.h"
#include "app/journal/RouteVisit.h"

class Workbench {
 public:
  // Opens the settings file at settingsPath and takes its time-outs; the
  // firmware table is the built-in one until the owner loads firmware.ini.
  // program: the journal's name for this program ("calibrate 1.1").
  Workbench(const std::string& settingsPath, std::string program);

  Settings& GetSettings() { return settings_; }
  const std::string& SettingsPath() const { return settings_.Path(); }
  // The delays dialog edits its time-outs; every later connection uses them.
  Catalogue& GetCatalogue() { return catalogue_; }
  const Catalogue& GetCatalogue() const { return catalogue_; }

  // The line and meter chosen now: where the next read goes.
  const PortSpec& Port() const { return port_; }
  void SetPort(PortSpec spec) { port_ = std::move(spec); }
  // A port as the engineer names it ("COM3"), resolved through [Ports] of the
  // settings file, with the line's echo setting.
  PortSpec PortOf(const std::string& name, unsigned baud, unsigned address);

  // The read that just ended, made at Port(): from now on the service acts on
  // that meter there, whatever is chosen afterwards.
  void SetLastReading(MeterReading reading);
  const MeterReading& LastReading() const { return lastReading_; }
  const PortSpec& MeterPort() const { return meterPort_; }
  // The last read identified a meter the service can act on.
  bool HaveMeter() const;

  // One operation at a time: false while another holds the meter. OnBusy
  // hears every change (the main window greys its read while a view has it).
  bool Acquire();
  void Release();
  bool Busy() const { return busy_; }
  void SetOnBusy(std::function<void(bool busy)> onBusy) { onBusy_ = std::move(onBusy); }

  // Holds the meter for one operation and gives it back, whatever happens.
  class Operation {
   public:
    explicit Operation(Workbench& bench) : bench_(bench), held_(bench.Acquire()) {}
    ~Operation() {
      if (held_) bench_.Release();
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;
    // False when another operation runs: do nothing and say so.
    bool Held() const { return held_; }

   private:
    Workbench& bench_;
    bool held_;
  };

  // The journal as the settings file has it now, and its change, written to
  // the settings file at once (false when it could not be); the folder is
  // kept as StoredJournalDir has it.
  JournalSettings Journal();
  bool SetJournal(const JournalSettings& journal);
  // Files the last read, and a guarded write on its meter (verified, failed
  // or refused), each marked as a virtual meter's in a demo run. Nullopt when
  // nothing was to be filed; otherwise the append's result. A read filed as
  // the first event of the meter's session is followed by its snapshot,
  // filed too, so that the visit's as-found holds every coefficient (its
  // append's result is returned when that one failed): the caller holds the
  // meter (Operation) for it.
  std::optional<JournalAppendResult> JournalLastRead();
  // A snapshot of the last read's meter, where that read found it, filed in
  // the journal when it is on (filed: the append's result, as above). The
  // caller holds the meter.
  MeterSnapshot SnapshotOfMeter(std::optional<JournalAppendResult>* filed = nullptr);
  std::optional<JournalAppendResult> JournalWrite(WriteKind kind, const WriteOutcome& outcome);
  // The recorder of the next guarded write on the last read's meter, as the
  // journal is set now: handed to RunGuardedWrite, it files the write's start
  // before the first byte, and JournalWrite then files the outcome through it.
  WriteRecorder& NewWriteRecorder();

  const std::string& Program() const { return program_; }
  // What the window's route leaves of one meter: with the journal on, the
  // snapshot filed as the service window files one and the visit's report;
  // otherwise (or when it could not be filed) the snapshot's JSON.
  RouteVisit RouteVisitOf(const MeterSnapshot& snapshot);
  // The meter of this run is a virtual one: its events and reports say so.
  bool Demo() const { return demo_; }
  void SetDemo(bool demo) { demo_ = demo; }

 private:
  Settings settings_;
  Catalogue catalogue_;
  PortSpec port_;
  PortSpec meterPort_;
  MeterReading lastReading_;
  std::string program_;
  bool demo_ = false;
  bool busy_ = false;
  std::function<void(bool)> onBusy_;
  std::optional<JournalWriteRecorder> recorder_;  // of the write under way
};
