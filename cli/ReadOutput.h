// How calibrate-cli prints a read: text that mirrors the window's labels, or
// one JSON object; and the exit status that sums it up.
#pragma once

#include <string>

#include "app/core/RecordingView.h"

// 0 read and no field ERR, 1 a field ERR, 3 port not opened, 4 not recognised.
int ReadExitStatus(const ReadOutcome& outcome, const RecordingView& view);

std::string ReadAsText(const ReadOutcome& outcome, const RecordingView& view);
std::string ReadAsJson(const ReadOutcome& outcome, const RecordingView& view);

// JSON string literal of a UTF-8 text.
std::string JsonString(const std::string& utf8);
