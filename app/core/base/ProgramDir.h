// Where the running program's file lies: the settings file and firmware.ini
// live beside it.
#pragma once

#include <string>

// The directory of the program file; the current directory when unknown.
std::string ProgramDirectory();
