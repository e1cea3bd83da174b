#include "Workbench.h"

#include "Workstation.h"
#include "app/core/ops/MeterSnapshotRead.h"
#include "app/core/settings/InspectorMode.h"
#include "app/journal/JournalCompare.h"
#include "app/journal/ServiceJournal.h"

Workbench::Workbench(const std::string& settingsPath, std::string program)
    : settings_(settingsPath), program_(std::move(program)) {
  catalogue_.delays = settings_.LoadDelays();
}

PortSpec Workbench::PortOf(const std::string& name, unsigned baud, unsigned address) {
  return MakePortSpec(name, baud, address, settings_.EchoSuppression(), settings_.Ini());
}

void Workbench::SetLastReading(MeterReading reading) {
  lastReading_ = std::move(reading);
  meterPort_ = port_;
}

bool Workbench::HaveMeter() const {
  const MeterReading& r = lastReading_;
  return r.result == ReadResult::Ok && r.identified && r.path != ReadPath::None;
}

bool Workbench::Acquire() {
  if (busy_) return false;
  busy_ = true;
  if (onBusy_) onBusy_(true);
  return true;
}

void Workbench::Release() {
  if (!busy_) return;
  busy_ = false;
  if (onBusy_) onBusy_(false);
}

JournalSettings Workbench::Journal() {
  JournalSettings journal = LoadJournalSettings(settings_.Ini());
  if (journal.enabled) journal.workstation = EnsureWorkstationId(settings_.Ini());
  journal.inspector = HeldInspectorMode().On();
  return journal;
}

bool Workbench::SetJournal(const JournalSettings& journal) {
  IniFile& ini = settings_.Ini();
  return ini.WriteInteger(kJournalSection, "Enabled", journal.enabled ? 1 : 0) &&
         ini.WriteString(kJournalSection, "Dir", StoredJournalDir(journal.dir, ini.Path())) &&
         ini.WriteString(kJournalSection, "Engineer", journal.engineer);
}

std::optional<JournalAppendResult> Workbench::JournalLastRead() {
  auto result = JournalRead(lastReading_, Journal(), program_, demo_);
  if (!result || !result->ok || !HaveMeter() || !BeginsSession(result->file, result->id))
    return result;
  std::optional<JournalAppendResult> snapshot;
  SnapshotOfMeter(&snapshot);
  // The read is on file; a snapshot that is not is the one to tell of.
  return snapshot && !snapshot->ok ? snapshot : result;
}

MeterSnapshot Workbench::SnapshotOfMeter(std::optional<JournalAppendResult>* filed) {
  MeterSnapshot snapshot = TakeSnapshot(meterPort_, catalogue_);
  const auto result = JournalSnapshot(snapshot, Journal(), program_, demo_);
  if (filed) *filed = result;
  return snapshot;
}

namespace {

// The write went where the last read went: the place is that read's.
JournalPlace PlaceOf(const MeterReading& reading) {
  return {reading.port, static_cast<int>(reading.baud), static_cast<int>(reading.address)};
}

}  // namespace

std::optional<JournalAppendResult> Workbench::JournalWrite(WriteKind kind,
                                                           const WriteOutcome& outcome) {
  if (!recorder_)
    return ::JournalWrite(kind, outcome, Journal(), program_, demo_, PlaceOf(lastReading_));
  auto result = recorder_->Finish(kind, outcome);
  recorder_.reset();
  return result;
}

WriteRecorder& Workbench::NewWriteRecorder() {
  recorder_.emplace(Journal(), program_, demo_, PlaceOf(lastReading_));
  return *recorder_;
}

RouteVisit Workbench::RouteVisitOf(const MeterSnapshot& snapshot) {
  const JournalSettings journal = Journal();
  if (!journal.enabled) return UnjournalledVisit(snapshot);
  const auto filed = JournalSnapshot(snapshot, journal, program_, demo_);
  if (filed && filed->ok) return JournalledVisit(journal.dir, snapshot);
  RouteVisit visit = UnjournalledVisit(snapshot);
  visit.sinceLastVisit = "не записано в журнал";
  return visit;
}
