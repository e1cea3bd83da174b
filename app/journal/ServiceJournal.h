// The events of a snapshot and of a write, beside the read's (ReadJournal.h),
// and the run id that ties the events of one run of a program together.
#pragma once

#include <optional>
#include <string>

#include "ReadJournal.h"
#include "app/core/ops/GuardedWrite.h"
#include "app/core/values/MeterSnapshot.h"

// This process's run id: twelve hexadecimal digits made once, from the time
// and a random number, and stored in every event's payload as "run". The
// window's events of one meter with one run id are one session.
const std::string& JournalRunId();

// An event of kind with what every event carries: the engineer, the program,
// and as payload the document with "demo" (a virtual meter's events must never
// pass for a real meter's) and "run" (the session it belongs to) added.
JournalEvent NewJournalEvent(const char* kind, const JournalSettings& settings,
                             const std::string& program, const Json& document, bool demo);

// kind "snapshot": the snapshot's JSON (schema 1) with "demo" and "run".
JournalEvent SnapshotJournalEvent(const MeterSnapshot& snapshot, const JournalSettings& settings,
                                  const std::string& program, bool demo);

// Where a write went, when the caller knows it (the window's and the command
// line's request); without it the event names no port.
struct JournalPlace {
  std::string port;
  int speed = 0;
  int address = 0;
};

// kind "write": the operation's record (operation, status, before, after,
// items with their verification, before_image_file) with "demo" and "run".
// The model is the meter's Latin model name, as every event of it has.
JournalEvent WriteJournalEvent(WriteKind kind, const WriteOutcome& outcome,
                               const JournalSettings& settings, const std::string& program,
                               bool demo, const JournalPlace& place = {});

// Only an operation that may have changed the meter is an event: a dry run, a
// refusal or a meter not reached wrote nothing.
bool JournalsWrite(const WriteOutcome& outcome);

// As JournalRead: nullopt when nothing was to be written, otherwise the
// append's result, whose error the caller shows as a warning and no more.
std::optional<JournalAppendResult> JournalSnapshot(const MeterSnapshot& snapshot,
                                                   const JournalSettings& settings,
                                                   const std::string& program, bool demo);
std::optional<JournalAppendResult> JournalWrite(WriteKind kind, const WriteOutcome& outcome,
                                                const JournalSettings& settings,
                                                const std::string& program, bool demo,
                                                const JournalPlace& place = {});

// The file (full path, UTF-8) of the meter with this serial number in the
// journal folder, the one with the newest event when several models share
// it; empty when the journal holds no such meter.
std::string MeterJournalFile(const std::string& dir, const std::string& serial);
