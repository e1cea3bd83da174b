// The journal's record of a guarded write, in two events of the meter's file:
//
//   "write-started"  appended once the user confirmed and before the first
//                    byte goes to the meter: the operation, each item with its
//                    value before and the value it is to get, and the
//                    before-image file with the SHA-256 of its bytes;
//   "write"          the outcome (WriteJournalEvent), naming the start's id
//                    as "started".
//
// A start that no outcome names is a write that ended with the program (it
// was killed, the computer lost power): the meter may hold any of the
// targets, and the before-image undoes them. A start that cannot be appended
// refuses the write, since a change to a meter must never go unrecorded.
#pragma once

#include <optional>
#include <string>

#include "ServiceJournal.h"
#include "app/core/ops/GuardedWrite.h"

// What the journal lacks to file a write as departments want it: who makes
// it (the engineer), and, with [Journal] RequireReason=1, why. A text of
// spaces only names nothing. With the journal off nothing is lacking. The
// front ends ask for what lacks before anything is sent; the recorder
// refuses the write's start without it all the same.
struct WriteRecordGap {
  bool engineer = false;
  bool reason = false;
  bool Any() const { return engineer || reason; }
};
WriteRecordGap MissingForWrite(const JournalSettings& settings, const std::string& changeReason);
// Empty, or spaces only.
bool IsBlank(const std::string& text);

class JournalWriteRecorder final : public WriteRecorder {
 public:
  // program: "calibrate-cli 1.1"; demo: a virtual meter's write; place: the
  // line the write goes out on.
  JournalWriteRecorder(JournalSettings settings, std::string program, bool demo,
                       JournalPlace place);

  // With the journal off: "" and nothing else. With it on: "" once the
  // start is on the disk, else the reason in Russian ("журнал недоступен:
  // ...", or what MissingForWrite finds lacking), and the core sends nothing.
  std::string Started(WriteKind kind, const WriteOutcome& intent) override;

  // Appends the outcome, naming the start when there was one. Nullopt when
  // nothing is to be filed: the journal is off, or no write was started and
  // the outcome changed nothing (a dry run, a refusal). Otherwise the
  // append's result, whose error the caller shows as a warning.
  std::optional<JournalAppendResult> Finish(WriteKind kind, const WriteOutcome& outcome);

  // The journal as this write files it.
  const JournalSettings& Journal() const { return settings_; }
  // The id of the start's event; empty when none was appended.
  const std::string& StartedId() const { return startedId_; }

 private:
  JournalSettings settings_;
  std::string program_;
  bool demo_;
  JournalPlace place_;
  std::string startedId_;
};
