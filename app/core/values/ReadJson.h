// The JSON object of one read as calibrate-cli prints it: the window's fields
// under their legacy keys, then every typed detail. The journal keeps the same
// object as the payload of a read, so that a journal event and a saved
// "read --json" compare field by field.
#pragma once

#include "app/core/values/MeterReadingJson.h"

Json ReadCommandJson(const MeterReading& reading);
