// The events of a read, a snapshot and a write in the service journal, when
// the journal is on for this run. A journal that cannot be written costs one
// line on standard error and nothing else: the command's output and exit
// status stay as they are.
#pragma once

#include "app/core/ops/GuardedWrite.h"
#include "app/core/settings/Settings.h"
#include "app/core/values/MeterReading.h"
#include "app/journal/JournalWriteRecorder.h"
#include "app/journal/ServiceJournal.h"
#include "cli/options/CliOptions.h"

// The events' names as the engineer reads them, in the help of --journal
// and in the warning of an event that did not reach the journal.
inline constexpr const char* kReadEvent = "чтение";
inline constexpr const char* kSnapshotEvent = "снимок";
inline constexpr const char* kWriteEvent = "запись";

// True when the read is filed as the first event of the meter's session:
// then its snapshot is to follow, so that the session knows every value the
// meter was found with and not only the read's K0 and Ku.
bool JournalTheRead(const CliOptions& options, Settings& settings, const MeterReading& reading);
// True when the snapshot went into the journal.
bool JournalTheSnapshot(const CliOptions& options, Settings& settings,
                        const MeterSnapshot& snapshot);
// The recorder of this run's write: with the journal on, the write's start
// is filed before the first byte is sent, or the write is refused.
JournalWriteRecorder WriteRecorderOf(const CliOptions& options, Settings& settings,
                                     const JournalPlace& place);
// Files the write's outcome through its recorder.
void JournalTheWrite(JournalWriteRecorder& recorder, WriteKind kind, const WriteOutcome& outcome);

// The folder the journal commands read: --journal, else the settings' Dir
// (whether or not reads are journalled now: the journal of earlier runs).
std::string JournalDir(const CliOptions& options, Settings& settings);
