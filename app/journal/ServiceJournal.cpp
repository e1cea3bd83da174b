#include "ServiceJournal.h"

#include <chrono>
#include <cstdio>
#include <random>

#include "JournalFile.h"
#include "JournalReader.h"
#include "JournalWriteRecorder.h"
#include "app/core/base/Cp1251.h"
#include "app/core/meter/MeterModels.h"
#include "app/core/values/MeterSnapshotJson.h"

const std::string& JournalRunId() {
  static const std::string id = [] {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    std::random_device random;
    char text[16];
    std::snprintf(text, sizeof text, "%06llx%06x",
                  static_cast<unsigned long long>(ms) & 0xFFFFFFull, random() & 0xFFFFFFu);
    return std::string(text);
  }();
  return id;
}

JournalEvent NewJournalEvent(const char* kind, const JournalSettings& settings,
                             const std::string& program, const Json& document, bool demo) {
  JournalEvent e;
  e.kind = kind;
  e.engineer = settings.engineer;
  e.workstation = settings.workstation;
  e.program = program;
  e.payload = nlohmann::json::parse(DumpJson(document));
  e.payload["demo"] = demo;
  e.payload["run"] = JournalRunId();
  if (settings.inspector) e.payload["inspector"] = true;
  return e;
}

JournalEvent SnapshotJournalEvent(const MeterSnapshot& snapshot, const JournalSettings& settings,
                                  const std::string& program, bool demo) {
  JournalEvent e = NewJournalEvent("snapshot", settings, program, SnapshotToJson(snapshot), demo);
  e.port = snapshot.port;
  e.speed = static_cast<int>(snapshot.baud);
  e.address = static_cast<int>(snapshot.address);
  // As the read names the meter, so that both go to one file.
  const auto model = ModelOfPath(snapshot.path);
  e.model = model ? RowOf(*model).name : "";
  e.serial = snapshot.serial;
  return e;
}

std::string MeterJournalFile(const std::string& dir, const std::string& serial) {
  if (serial.empty()) return {};
  const JournalListing listing = ListJournalMeters(dir);
  const JournalMeter* best = nullptr;
  for (const JournalMeter& m : listing.meters)
    if (m.serial == serial && (!best || m.lastTimeUtc > best->lastTimeUtc)) best = &m;
  return best ? Utf8(PathFromUtf8(dir) / PathFromUtf8(best->file)) : std::string();
}

JournalEvent WriteJournalEvent(WriteKind kind, const WriteOutcome& outcome,
                               const JournalSettings& settings, const std::string& program,
                               bool demo, const JournalPlace& place) {
  JournalEvent e = NewJournalEvent("write", settings, program, outcome.Record(kind), demo);
  e.port = place.port;
  e.speed = place.speed;
  e.address = place.address;
  e.serial = outcome.before.serial;
  e.model = outcome.before.model;
  if (!IsBlank(outcome.changeReason)) e.reason = outcome.changeReason;
  return e;
}

bool JournalsWrite(const WriteOutcome& outcome) {
  return outcome.status == WriteStatus::Verified || outcome.status == WriteStatus::Failed ||
         (outcome.status == WriteStatus::Interrupted && !outcome.written.empty());
}

std::optional<JournalAppendResult> JournalSnapshot(const MeterSnapshot& snapshot,
                                                   const JournalSettings& settings,
                                                   const std::string& program, bool demo) {
  if (!settings.enabled || snapshot.result != ReadResult::Ok) return std::nullopt;
  const JournalWriter writer(settings.dir, kReadJournalWait);
  return writer.Append(SnapshotJournalEvent(snapshot, settings, program, demo));
}

std::optional<JournalAppendResult> JournalWrite(WriteKind kind, const WriteOutcome& outcome,
                                                const JournalSettings& settings,
                                                const std::string& program, bool demo,
                                                const JournalPlace& place) {
  if (!settings.enabled || !JournalsWrite(outcome)) return std::nullopt;
  // A write is worth waiting for: what was changed in a meter must be on file.
  const JournalWriter writer(settings.dir);
  return writer.Append(WriteJournalEvent(kind, outcome, settings, program, demo, place));
}
