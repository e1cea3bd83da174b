// How calibrate-cli prints a read: text with the window's labels, or one JSON
// object; and the exit status that sums it up.
#pragma once

#include <string>

#include "app/core/values/MeterReading.h"
#include "cli/output/ExitStatus.h"

ExitStatus ReadExitStatus(const MeterReading& reading);

std::string ReadAsText(const MeterReading& reading);
std::string ReadAsJson(const MeterReading& reading);
