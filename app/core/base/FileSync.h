// Writes a whole file and makes sure it is on the disk before returning.
#pragma once

#include <iosfwd>
#include <string>

// False when the file cannot be created, written completely or flushed.
bool WriteFileDurably(const std::string& path, const std::string& contents);

// Moves the file from over to, replacing what is there, as one step: a reader
// sees the old file or the new one, never a part. False when it cannot.
bool MoveIntoPlace(const std::string& from, const std::string& to);

// Opens an existing file for reading, in binary mode. False when it cannot.
bool OpenForReading(std::ifstream& in, const std::string& path);
