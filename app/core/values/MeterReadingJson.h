// The typed reading as JSON: what the command line prints after its legacy
// keys, and what the journal keeps of a read.
#pragma once

#include <nlohmann/json.hpp>

#include "app/core/values/MeterReading.h"

using Json = nlohmann::ordered_json;

// "ok", "port_error", "not_found".
const char* ResultName(ReadResult result);
const char* PathName(ReadPath path);
const char* StateName(ValueState state);
// "placeholder", "configured", or nullptr when the model has no row.
const char* FirmwareSourceName(FirmwareSource source);

std::string HexBytes(std::span<const uint8_t> bytes);

// A shown coefficient as a JSON number with the five decimals the window
// shows, or, for a value that is no number (erased memory can hold a NaN),
// the field's text.
Json ShownNumber(double shown);
// A float as its shortest decimal; null for a NaN or an infinity.
Json FloatNumber(float value);

// Adds a calibration record's bytes and, when its layout is valid, its seal,
// licence, version and date to j. Both the read's and the snapshot's JSON
// carry the record so, each with its own way of writing the state.
void AddRecordFields(Json& j, const RecordReading& record);

// Every typed field: channels with stored value, raw bytes, state and shown
// value; the record's bytes and decoded parts; where and when.
Json ReadingDetails(const MeterReading& reading);

// Dumps as UTF-8, replacing any invalid byte rather than throwing.
std::string DumpJson(const Json& json, int indent = -1);
