// calibrate-cli and the service journal: the events of a read, a snapshot
// and a write, and the commands that read the journal back (history, verify,
// compare, report).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "app/core/MeterReading.h"
#include "app/core/Settings.h"
#include "app/service/ServiceJournal.h"

// Records the read when the journal is on for this run. A journal that cannot
// be written costs one line on standard error and nothing else: the read's
// output and exit status stay as they are.
void JournalTheRead(const CliOptions& options, Settings& settings, const MeterReading& reading);
// The same for a snapshot, and for a write that may have changed the meter.
void JournalTheSnapshot(const CliOptions& options, Settings& settings,
                        const MeterSnapshot& snapshot);
void JournalTheWrite(const CliOptions& options, Settings& settings, WriteKind kind,
                     const WriteOutcome& outcome, const JournalPlace& place);

// "history" and "journal verify", parsed here rather than in the read's
// grammar: they take operands and share no option with it but the folder.
// Nullopt with a one-line reason on a usage error.
std::optional<CliOptions> ParseJournalCli(const std::vector<std::string>& args, std::string& error);

// history [SERIAL] [--json]: the meters, or one meter's events newest first.
int RunHistory(const CliOptions& options);
// journal verify [FILE|--all] [--json]: status 1 when a chain is broken.
int RunJournalVerify(const CliOptions& options);
// compare A B | --last [SERIAL] [--json]: status 0 equal, 1 different.
int RunCompare(const CliOptions& options);
// report [SERIAL] [--session ID|--last] --html FILE.
int RunReport(const CliOptions& options);
