// --trace on standard error: every byte sent (">>") and received ("<<") in
// hex, and what the engines made of each attempt as "# ..." lines.
#pragma once

#include <span>
#include <string>

#include "comm/LuMComPort.h"

std::string Hex(std::span<const uint8_t> bytes);
LineTrace StderrTrace();
