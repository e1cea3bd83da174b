// Writes a whole file and makes sure it is on the disk before returning.
#pragma once

#include <iosfwd>
#include <string>

// False when the file cannot be created, written completely or flushed.
bool WriteFileDurably(const std::string& path, const std::string& contents);

// Moves the file from over to, replacing what is there, as one step: a reader
// sees the old file or the new one, never a part. False when it cannot.
bool MoveIntoPlace(const std::string& from, const std::string& to);

// Flushes the folder's list of names to the disk, so that a file just
// created or moved in it survives a crash under its name. Nothing to do on
// Windows, whose file system keeps names with the file's own flush.
void FlushFolder(const std::string& folder);

// Opens an existing file for reading, in binary mode. False when it cannot.
bool OpenForReading(std::ifstream& in, const std::string& path);
