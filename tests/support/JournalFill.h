// A journal file of many events written in one go, chained as the journal's
// writer chains them (its flush per event would time the disk, not what is
// measured or tested): read events of one meter by one workstation.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "app/journal/JournalLine.h"
#include "app/journal/JournalWriter.h"

// payload(i) gives the i-th event's payload.
template <class Payload>
void FillJournal(const std::string& dir, const std::string& workstation, const std::string& serial,
                 unsigned count, Payload payload) {
  JournalEvent meter;
  meter.model = "ZFK-36";
  meter.serial = serial;
  std::filesystem::create_directories(dir);
  std::ofstream out(std::filesystem::path(dir) / JournalFileName(meter), std::ios::binary);
  std::string prev(kJournalGenesis);
  for (unsigned i = 0; i < count; ++i) {
    nlohmann::ordered_json f;
    f["format"] = 1;
    f["kind"] = "read";
    f["timeUtc"] = "2026-12-10T08:00:00.000Z";
    f["timeLocal"] = "2026-12-10T11:00:00.000+03:00";
    f["engineer"] = "Петров";
    f["computer"] = "bench";
    f["workstation"] = workstation;
    f["program"] = "calibrate-cli 1.1";
    f["port"] = "COM3";
    f["speed"] = 9600;
    f["address"] = 1;
    f["model"] = meter.model;
    f["serial"] = serial;
    f["payload"] = payload(i);
    const std::string line = MakeJournalLine(f, prev);
    prev = ParseJournalLine(line).hash;
    out << line << '\n';
  }
}
