// The service journal on the command line: --journal, --no-journal and
// --engineer of the commands that record events, and the folder of the
// commands that read it.
#pragma once

#include "CliOptions.h"
#include "Declaration.h"

// what: the event's name as the help gives it ("чтение").
void AddJournalRecording(Declaration& d, JournalOptions& o, const std::string& what);
// --journal DIR, --ini FILE and --json of history, journal verify, compare
// and report.
void AddJournalFolder(Declaration& d, CliOptions& o, bool json = true);
// --force of history, compare and report: go on with a journal whose chain
// does not verify, marked as such.
void AddForceOption(Declaration& d, CliOptions& o);
