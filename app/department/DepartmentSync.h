// One sync of a journal folder with the department's record: the events of
// this folder the server lacks go up, the events of the meters this
// workstation serves (or of one meter, or of all) that the folder lacks come
// down into its department folder (DepartmentFolder.h), so that the history
// of those meters works offline afterwards. Events are only ever added, on
// both sides, so two syncs in any order leave the same set. A sync that
// stops half way (the server gone, the connection dropped) keeps what it
// did; the next one does the rest.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

class DepartmentStore;

struct SyncRequest {
  std::string dir;                    // the journal folder, UTF-8
  std::string workstation;            // this installation's id (Workstation.h)
  std::string site;                   // [Department] Site: the site its events are filed under
  bool all = false;                   // take every meter the server shows
  std::optional<std::string> serial;  // take this meter only
};

struct SyncReport {
  bool ok = false;
  std::string error;                 // why the sync stopped; what was done before it is kept
  size_t sent = 0;                   // events the server took
  size_t already = 0;                // events the server had by then (another sync sent them)
  size_t received = 0;               // events taken into the department folder
  std::vector<std::string> refused;  // "<id>: <reason>", events the server refused
  std::vector<std::string>
      damaged;  // "<id>: <reason>", events from the server that fail their hash
  std::vector<std::string> divergent;  // serial numbers with two as-left states (Divergence.h)
};

// phase: "отправка" or "приём"; done of total events.
using SyncProgress = std::function<void(const char* phase, size_t done, size_t total)>;

SyncReport SyncJournal(DepartmentStore& store, const SyncRequest& request,
                       const SyncProgress& progress = {});

// The report in words, for the console and the window: one line of counts,
// then a line for each refused, damaged or divergent one.
std::string SyncReportText(const SyncReport& report);
