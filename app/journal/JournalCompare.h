// What a meter held at one visit, and what changed between two: the state a
// read, a snapshot or a write's read-back shows (the coefficients of both
// channels, Gmax, the calibration record, serial number and firmware), the
// comparison of two states field by field, and the sessions of a meter's
// journal file.
//
// A session is the run of a meter's events made by one run of a program: the
// window's events carry the run id of its process ("run" in the payload). The
// command line runs once per command, so its session is the meter's events of
// one local day. Events without a run id (older journals) also go by the day.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "JournalReader.h"

// One field of a meter's state: a stable key ("k1.K0", "k2.Obr[3]",
// "record"), its label for people and its value (a number, a text, or the
// text "ошибка" for an item that could not be read).
struct StateField {
  std::string key;
  std::string label;
  nlohmann::json value;
};
using MeterState = std::vector<StateField>;

// The calibration record is one field: its 16 bytes in hexadecimal, decoded
// for people by FieldValueText.
inline constexpr const char* kRecordKey = "record";
inline constexpr const char* kRecordLabel = "Запись калибровки";

// The state a document shows: a read's JSON (calibrate-cli read --json, a
// read event's payload), a snapshot (schema 1), or a write's record (its
// after-image: only the items written). Nullopt, with the reason, for any
// other document. Values that change on their own (G, SFR, the clock, times)
// are no part of it.
std::optional<MeterState> StateOf(const nlohmann::json& document, std::string& error);

// What a write's record (or its start's) says the meter held before it: the
// items of its before-image. Nullopt for a document without one.
std::optional<MeterState> WriteBeforeState(const nlohmann::json& write);

// A field's value for people: numbers as the journal keeps them (NumberText),
// the record decoded (RecordText), "—" for none.
std::string FieldValueText(const std::string& key, const nlohmann::json& value);

struct FieldChange {
  std::string key, label;
  nlohmann::json before, after;      // null where the field is missing on that side
  std::optional<double> difference;  // after - before, both numbers
  std::optional<double> percent;     // the difference relative to a non-zero before
};

struct StateComparison {
  size_t compared = 0;               // fields on both sides
  std::vector<FieldChange> changes;  // in the order of the later state
  bool Equal() const { return changes.empty(); }
};

// Fields on both sides are compared; a field on one side only counts as a
// change when both documents are of the same kind (a read shows fewer fields
// than a snapshot, which is no change of the meter).
StateComparison CompareStates(const MeterState& before, const MeterState& after,
                              bool sameKind = true);

// "0.0025 → 0.003 (+0.0005, +20 %)": a change in words, for text output.
std::string ChangeText(const FieldChange& change);
nlohmann::json ToJson(const StateComparison& comparison);

struct JournalSession {
  std::string id;                      // the id of its first event
  std::vector<JournalRecord> records;  // oldest first
  std::string Day() const;             // local date of its first event, "2026-12-08"
};

// The sessions of one meter's file, oldest first.
std::vector<JournalSession> JournalSessions(const JournalFileContent& content);

// Whether the event id of the meter's journal file is the first of its
// session: the first event of a visit, whose as-found the journal must then
// be given in full.
bool BeginsSession(const std::string& file, const std::string& id);

// The session with an event whose id begins with ref (4 digits at least), or
// the last session for "last"; null with the reason otherwise.
const JournalSession* FindSession(const std::vector<JournalSession>& sessions,
                                  const std::string& ref, std::string& error);

// What the meter holds now and what it held when the engineer left it the
// visit before: the as-left of the fullest state (SessionState.h) of the last
// session that shows one and of the one before it, so that a write after the
// last read counts, and a field only a snapshot showed is not forgotten by a
// later read. Fields known on one side only are not compared.
struct VisitComparison {
  bool ok = false;
  std::string error;       // no state event, no earlier visit
  JournalRecord last;      // when ok: the present session's last event with a state
  JournalRecord previous;  // when ok: the previous visit's
  StateComparison comparison;
};
VisitComparison CompareWithPreviousVisit(const std::vector<JournalSession>& sessions);
