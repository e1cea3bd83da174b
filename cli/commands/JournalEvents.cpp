#include "JournalEvents.h"

#include <iostream>

#include "app/core/settings/InspectorMode.h"
#include "app/journal/JournalCompare.h"
#include "app/journal/ReadJournal.h"
#include "app/journal/Workstation.h"

namespace {

JournalSettings RunJournal(const CliOptions& o, Settings& settings) {
  JournalSettings journal =
      OverrideJournal(LoadJournalSettings(settings.Ini()), o.journalDir, o.noJournal);
  if (o.engineer) journal.engineer = *o.engineer;
  if (journal.enabled) journal.workstation = EnsureWorkstationId(settings.Ini());
  journal.inspector = FindInspectorMode(o.inspector, settings).On();
  return journal;
}

void WarnIfLost(const std::optional<JournalAppendResult>& result, const char* what) {
  if (result && !result->ok)
    std::cerr << "calibrate-cli: предупреждение: событие «" << what
              << "» не попало в журнал: " << result->error << "\n";
}

}  // namespace

bool JournalTheRead(const CliOptions& o, Settings& settings, const MeterReading& reading) {
  const auto result = JournalRead(reading, RunJournal(o, settings), JournalProgram("calibrate-cli"),
                                  o.demo.has_value());
  WarnIfLost(result, kReadEvent);
  return result && result->ok && BeginsSession(result->file, result->id);
}

bool JournalTheSnapshot(const CliOptions& o, Settings& settings, const MeterSnapshot& snapshot) {
  const auto result = JournalSnapshot(snapshot, RunJournal(o, settings),
                                      JournalProgram("calibrate-cli"), o.demo.has_value());
  WarnIfLost(result, kSnapshotEvent);
  return result && result->ok;
}

JournalWriteRecorder WriteRecorderOf(const CliOptions& o, Settings& settings,
                                     const JournalPlace& place) {
  return {RunJournal(o, settings), JournalProgram("calibrate-cli"), o.demo.has_value(), place};
}

void JournalTheWrite(JournalWriteRecorder& recorder, WriteKind kind, const WriteOutcome& outcome) {
  WarnIfLost(recorder.Finish(kind, outcome), kWriteEvent);
}

std::string JournalDir(const CliOptions& o, Settings& settings) {
  if (o.journalDir) return *o.journalDir;
  return LoadJournalSettings(settings.Ini()).dir;
}
