// A meter's event and the lines of its journal file, for the journal's tests.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/journal/JournalWriter.h"

inline JournalEvent MeterEvent(std::string serial, int n, std::string kind = "read") {
  JournalEvent e;
  e.kind = std::move(kind);
  e.engineer = "Иванов";
  e.program = "calibrate-test";
  e.port = "COM3";
  e.speed = 9600;
  e.address = 5;
  e.model = "ZFK-36";
  e.serial = std::move(serial);
  e.payload = {{"n", n}, {"g1", {{"k0", 100.5}, {"ku", 0.25}}}};
  return e;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The file's lines without their newlines; a last line without one included.
inline std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadBytes(path));
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

inline void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines)
    bytes += line + "\n";
  WriteBytes(path, bytes);
}
