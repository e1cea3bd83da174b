// Reads a journal back: the meters in a journal folder, the events of one
// meter's file newest first, one event by id, and the check of a file's chain
// (the format is in JournalLine.h). Nothing here writes. Every function takes
// damaged input of any kind (a line cut short by a crash, garbage, an edited
// file) and reports it; none throws.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "JournalWriter.h"

// The time a reader waits for an append in progress before it reads anyway.
inline constexpr std::chrono::milliseconds kJournalReadWait{1000};

// One event as recorded.
struct JournalRecord {
  size_t line = 0;   // its line in the file, from 1
  std::string id;    // its id (JournalEventId of its hash)
  std::string hash;  // its line's whole hash: its identity in the department's record
  std::string timeUtc;
  std::string timeLocal;
  JournalEvent event;    // the fields as recorded (computer filled in)
  bool chained = false;  // its hash and its link to the line before verify
  // Recorded on another workstation and taken from the department's record.
  bool department = false;
  // What its workstation had seen of the others' events of this meter: the
  // hash of each one's last, by workstation id (an object; null when none).
  nlohmann::json seen;
  // When the department's server received it (UTC, ISO 8601); empty when
  // unknown, as for an event not yet sent.
  std::string received;
};

// A damaged line: cut short by a crash or a full disk, or not a journal line
// at all. A last line that lacks only its newline is listed here and its
// event, which is whole, is read as well.
struct JournalDamage {
  size_t line = 0;
  std::string why;
};

enum class JournalFault {
  Edited,        // the line's hash does not match its text
  Unlinked,      // its "prev" is not the hash of the last valid line before it:
                 // a line was removed before it, or lines were moved
  Unparsable,    // a complete line that is no journal line (cut short, garbage)
  TornLastLine,  // the file ends in a line without its newline (a cut append);
                 // if only the newline is missing, the line's event still counts
};
const char* JournalFaultName(JournalFault fault);  // "edited", "unlinked", ...

struct JournalProblem {
  size_t line = 0;  // from 1
  JournalFault fault = JournalFault::Unparsable;
  std::string why;  // in words, for the engineer
};

// The first problem the chain check finds in a file (VerifyJournalFile).
struct JournalBreak {
  std::string file;
  JournalProblem problem;
};

struct JournalFileContent {
  bool ok = false;    // the file could be read
  std::string error;  // when not
  std::string file;
  std::vector<JournalRecord> records;  // newest first, i.e. the file's order reversed
  std::vector<JournalDamage> damaged;  // in the file's order
  // Per file read whose chain does not verify, its first broken line; empty
  // when every file verifies. Whatever is read from a journal with a break
  // may hold an edited value and must say so (JournalBreakText.h).
  std::vector<JournalBreak> breaks;
};

// Reads one meter's journal file (path in UTF-8). A damaged line is listed in
// damaged and never stops the lines before or after it from being read.
// A file of the department folder (DepartmentFolder.h) holds several chains:
// each of its lines must continue some line before it, or begin a chain.
JournalFileContent ReadJournalFile(const std::string& path);

// Every event of one meter, whatever file of the folder holds it (a journal
// written before every event named the meter by its model may have two for
// one meter), the department's events of it from other workstations included
// (each once, with its receipt time where known), newest first; meter is its
// serial number or a file's name. Only the files named for the meter are read.
// file is the newest file's path. Not ok, with the reason, when the folder
// holds no such meter.
// receivedTimes: look up each event's receipt time (a sync checking many
// meters at once leaves them out).
JournalFileContent ReadMeterJournal(const std::string& dir, const std::string& meter,
                                    bool receivedTimes = true);

// The event that ref names in content: "last" for the newest, else its id or
// an unambiguous beginning of it (4 digits at least). Null, with the reason in
// error, when no event or more than one matches.
const JournalRecord* FindJournalRecord(const JournalFileContent& content, std::string_view ref,
                                       std::string& error);

struct JournalLookup {
  bool ok = false;
  std::string error;
  std::string file;  // the meter's file that holds the event
  JournalRecord record;
  std::vector<JournalBreak> breaks;  // that file's, as in JournalFileContent
};

// The same across every meter of a journal folder; "last" is the event with
// the latest time in UTC.
JournalLookup FindJournalEvent(const std::string& dir, std::string_view ref);

struct JournalVerdict {
  std::string file;
  bool readable = false;
  std::string error;                     // when not readable
  size_t lines = 0;                      // lines in the file, a torn last one included
  size_t events = 0;                     // lines that hold an event
  std::vector<JournalProblem> problems;  // in the file's order: the first broken line first
  bool Ok() const { return readable && problems.empty(); }
};

// Checks one file's chain line by line. A removed last line cannot be told
// from a journal that ended there; everything else shows: an edited line at
// that line, a removed or moved one at the line after the gap, a line cut
// short or overwritten at itself. Lines cut short by a crash are skipped by
// the chain (the writer continues from the last valid line), so one problem
// does not make every later line a problem too.
JournalVerdict VerifyJournalFile(const std::string& path);

struct JournalFolderVerdict {
  bool ok = false;                    // the folder could be listed
  std::string error;                  // when not
  std::vector<JournalVerdict> files;  // every meter's file, by name
  bool AllOk() const;                 // listed, and every file verifies
};
JournalFolderVerdict VerifyJournal(const std::string& dir);

// A meter as its journal file shows it; the fields are those of its newest event.
struct JournalMeter {
  std::string file;   // the file's name in the folder
  std::string error;  // when the file could not be read (then nothing else is known)
  std::string model;
  std::string serial;
  std::string port;
  int address = 0;
  size_t events = 0;
  size_t damaged = 0;  // lines that hold no event
  std::string lastTimeUtc;
  std::string lastTimeLocal;
};

struct JournalListing {
  bool ok = false;                   // the folder could be listed
  std::string error;                 // when not; a missing folder is an empty journal, not an error
  std::vector<JournalMeter> meters;  // by file name
};
JournalListing ListJournalMeters(const std::string& dir);

// The JSON forms of the above, for the command line's --json output.
nlohmann::json ToJson(const JournalRecord& record);
nlohmann::json ToJson(const JournalFileContent& content);
nlohmann::json ToJson(const JournalVerdict& verdict);
nlohmann::json ToJson(const JournalFolderVerdict& verdict);
nlohmann::json ToJson(const JournalListing& listing);
