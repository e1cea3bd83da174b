// Writes a whole file and makes sure it is on the disk before returning.
#pragma once

#include <string>

// False when the file cannot be created, written completely or flushed.
bool WriteFileDurably(const std::string& path, const std::string& contents);
