// The route: one pass over a bus that finds every meter (the bus scan) and
// takes each one's as-found snapshot, leaving in a folder one row per meter
// in route.csv and one file per meter (the visit's report, which the caller
// makes). It only reads.
//
// A route can be stopped between two meters, or killed at any moment, and
// picked up again: route.progress keeps the scan's meters and the rows of
// the meters done, and is replaced as a whole after each meter, so that it
// always tells the truth. A meter is done once its report and its row are on
// disk (the report first, then the progress file that holds the row); a
// resumed route never scans again and never visits a done meter twice.
// route.csv is made from the progress file's rows each time, and once more
// when a route resumes, so that it cannot lag behind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/core/meter/Connection.h"
#include "app/core/ops/BusScan.h"
#include "app/core/values/MeterSnapshot.h"

inline constexpr const char* kRouteCsv = "route.csv";
inline constexpr const char* kRouteProgress = "route.progress";

// One meter's line of route.csv, one text per column (RouteCsvHeader).
using RouteRow = std::vector<std::string>;
std::string RouteCsvHeader();
std::string RouteCsv(const std::vector<RouteRow>& rows);
// One line of CSV, its fields quoted where they hold a separator, a quote or
// a line break; with the line's end.
std::string CsvLine(const std::vector<std::string>& cells);

// What the caller leaves of one visit beside its row: the file (its name
// in the route's folder, and what it holds) and what changed since the
// meter's last visit, in words.
struct RouteVisit {
  std::string fileName;  // "360517.html"
  std::string contents;
  std::string sinceLastVisit;  // "без изменений", "изменилось: K0 канала 1", "первый визит"
};

// Records each snapshot the route takes (the journal, when it is on) and
// makes its visit.
class RouteRecorder {
 public:
  virtual ~RouteRecorder() = default;
  virtual RouteVisit Record(const MeterSnapshot& snapshot) = 0;
};

// The visit when no journal is kept: the snapshot's own JSON, <serial>.json,
// and the words that say why there is no report.
inline constexpr const char* kNoJournalVisit = "журнал не ведётся";
RouteVisit UnjournalledVisit(const MeterSnapshot& snapshot);
// The file name of a meter's visit: its serial number with the extension,
// "адрес-N" when it gave none. What a file name may not hold becomes '_'.
std::string RouteFileName(const MeterSnapshot& snapshot, const std::string& extension);

struct RouteProgress {
  size_t done = 0;   // meters done, those of an earlier run included
  size_t total = 0;  // meters the scan found
  uint8_t address = 0;
  uint32_t baud = 0;
  uint64_t elapsedMs = 0;               // since this run began
  std::optional<uint64_t> remainingMs;  // once this run has done a meter
};

// The scan's progress and cancellation, and the route's own.
class RouteListener : public ScanListener {
 public:
  // Before each meter's snapshot.
  virtual void OnMeter(const RouteProgress&) {}
  // After each meter's row is on disk.
  virtual void OnMeterDone(const RouteRow&, const RouteProgress&) {}
};

struct RouteRequest {
  ScanRequest scan;
  std::string dir;      // UTF-8; made when missing
  bool resume = false;  // go on from the folder's progress file
};

enum class RouteResult { Done, Cancelled, PortError, FileError, NothingToResume };

struct RouteOutcome {
  RouteResult result = RouteResult::Done;
  std::vector<RouteRow> rows;  // every meter's row so far, earlier runs' included
  size_t visited = 0;          // meters this run visited
  size_t resumed = 0;          // meters an earlier run had done
  std::string error;           // the port's or the file's message
};

class TRoute {
 public:
  RouteOutcome Run(const RouteRequest& request, const Catalogue& catalogue, RouteRecorder& recorder,
                   RouteListener& listener);

  TBusScan scan;    // its VerTable is taken from the catalogue
  LineTrace trace;  // for every snapshot's connection
};
