// Appends events to the journal: a folder with one file per meter, each a
// chain of JSON Lines (the format is in JournalLine.h). Every append is one
// write under a lock shared between processes and flushed to the disk before
// it counts, so that two programs recording at once lose nothing and a crash
// leaves at most one line cut short, which readers report and later appends
// step over.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>

// One thing done with a meter, as the front ends hand it over.
struct JournalEvent {
  // "read", "snapshot", "write-started" (a write about to be sent: what it
  // will change and its undo file) or "write" (how a write went)
  std::string kind;
  std::string engineer;  // who did it
  std::string computer;  // left empty: this computer's name
  std::string program;   // the program and its version, e.g. "calibrate-cli 1.1"
  std::string port;      // e.g. "COM3"
  int speed = 0;         // baud
  int address = 0;       // the meter's network address
  std::string model;     // the meter's model as identified; may be empty
  std::string serial;    // its serial number; empty when it could not be read
  // The read's typed result or the snapshot; for a write also the values
  // before and after and their verification. Carried as given.
  nlohmann::json payload;
  std::string reason;  // why: a write's reason as the engineer gave it; may be empty
  // The installation that recorded it (Workstation.h); empty in the events of
  // a journal written before workstations had ids.
  std::string workstation;
};

struct JournalAppendResult {
  bool ok = false;
  std::string error;  // when not ok: what failed, naming the folder or file
  std::string id;     // the event's id in the journal (see JournalRecord::id)
  std::string file;   // the meter's file the event went to
};

nlohmann::json ToJson(
    const JournalAppendResult& result);  // {"ok", "id", "file"} or {"ok", "error"}

// The file name of a meter's journal, safe on Linux and Windows: model and
// serial number ("ZFK-36_sn12345.jsonl"), or model, port and address when the
// serial is empty ("ZFK-36_COM3_addr5.jsonl"). Letters, digits, '.', '-' and
// '_' stay; any other byte becomes %XX; each part is bounded in length (a long
// one keeps its start and a digest of the whole, so names stay distinct).
std::string JournalFileName(const JournalEvent& event);

class JournalFile;

// Under the file's lock: the hash the next line must carry (that of the last
// valid line, or the genesis value) and whether the file ends in a newline.
bool FindChainEnd(JournalFile& file, std::string& prev, bool& endsInNewline, std::string& error);

class JournalWriter {
 public:
  // dir: the journal folder, UTF-8. lockWait: how long an append may wait for
  // another program's append to the same meter before it gives up.
  explicit JournalWriter(std::string dir,
                         std::chrono::milliseconds lockWait = std::chrono::seconds(3));

  // Stamps the event with the time (UTC and local) and the computer's name,
  // chains it to the last complete valid line of the meter's file and appends
  // it, making the folder when it is missing. Success only once the line is on
  // the disk. Any failure (folder cannot be made, read-only, disk full, lock
  // not had within lockWait, kind not one of the four) comes back as an error
  // text, never as an exception; nothing is then added to the file.
  JournalAppendResult Append(const JournalEvent& event) const;

  const std::string& Dir() const { return dir_; }

 private:
  std::string dir_;
  std::chrono::milliseconds lockWait_;
};
