// The department's events as a workstation keeps them offline: beside the
// meters' own files of the journal folder, a folder "department" holds the
// other workstations' events of each meter, line for line as they recorded
// them (so that their hashes still hold), in a file named as the meter's own,
// in the order the server received them. Such a file holds several chains
// (one per workstation), so each of its lines must continue some line before
// it or begin a chain. The server's receipt time of each event sent or
// received is kept in "department/received", one line "<hash> <time>" each.
// Nothing here talks to the server.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

inline constexpr const char* kDepartmentFolder = "department";

// A meter's file in the journal folder, the workstation's own or one taken
// from the department.
struct JournalFileEntry {
  std::string path;         // UTF-8
  bool department = false;  // below the department folder
};

// Whether path is a file of the department folder.
bool IsDepartmentFile(const std::string& path);

// The meters' files of the journal folder dir, the own ones first, each group
// by name; a missing folder has none. False with the reason when a folder
// cannot be listed.
bool ListJournalFiles(const std::string& dir, std::vector<JournalFileEntry>& files,
                      std::string& error);

// The hash of the last event of each workstation's chain in the department
// file of the meter's file name: what this workstation has seen of the
// others when it records an event.
std::unordered_map<std::string, std::string> SeenWorkstations(const std::string& dir,
                                                              const std::string& fileName);

// Appends lines (each a journal line without its newline) to the department
// file of the meter's file name, in one durable write.
bool AppendDepartmentLines(const std::string& dir, const std::string& fileName,
                           const std::vector<std::string>& lines, std::string& error);

// The receipt times known, by hash; and adding to them.
std::unordered_map<std::string, std::string> ReceivedTimes(const std::string& dir);
bool AppendReceivedTimes(const std::string& dir,
                         const std::vector<std::pair<std::string, std::string>>& times,
                         std::string& error);
