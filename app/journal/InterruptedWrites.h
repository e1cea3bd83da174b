// Writes that may have left a meter half written, as a meter's journal shows
// them: a "write-started" whose outcome never came (no "write" event names
// its id as "started": the program was killed or the computer lost power
// between the two), and a "write" whose status is "interrupted" (stopped by
// Ctrl+C, SIGTERM or a closed window after the item under way). The meter
// may hold the new value of any of the items, and the before-image undoes
// them. Journals from before write-started events show none of the first.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "JournalReader.h"

// How every reader of the journal names such a write.
inline constexpr const char* kInterruptedWriteText = "прервано";

// The ids of the write-started events that a "write" event of records names.
std::set<std::string> FinishedWriteStarts(const std::vector<JournalRecord>& records);

// Whether record is a write left in doubt (see above); finished is
// FinishedWriteStarts of the meter's records.
bool IsInterruptedWrite(const JournalRecord& record, const std::set<std::string>& finished);

// One item of a write or write-started event: its name, its value before and
// the value it was to get (a start) or read back with (an outcome).
struct WriteItemChange {
  std::string item, before, after;
};
std::vector<WriteItemChange> WriteItemChanges(const JournalRecord& record);
