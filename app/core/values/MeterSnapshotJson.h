// A snapshot as JSON and back. Files written today carry "schema": 1, and
// later versions of the program go on reading them; a document of any other
// schema is refused rather than half understood.
//
// Every item is an object with its "state" ("read" or "failed"), or null
// where the model has no such item or the snapshot did not get that far. A
// coefficient carries the stored value as a number, its IEEE-754 single
// precision bits ("bits", eight hex digits: exact also for a NaN) and the
// meter's own bytes ("raw"); reading a document back takes the bits. Records
// and clocks are taken back from their raw bytes; their decoded parts are for
// people.
#pragma once

#include <optional>
#include <string>

#include "app/core/values/MeterReadingJson.h"
#include "app/core/values/MeterSnapshot.h"

// "not_checked", "no_reference", "placeholder", "match", "mismatch",
// "unreadable".
const char* FirmwareCheckName(FirmwareCheck check);

Json SnapshotToJson(const MeterSnapshot& snapshot);
// The snapshot a document describes; nullopt, with the reason in error, for
// one that is not a snapshot of schema 1.
std::optional<MeterSnapshot> SnapshotFromJson(const Json& json, std::string& error);
