// The check of a service report made with its seal (ReportSeal.h): the
// report file against the hash its sidecar keeps, the sidecar against the
// hash the report prints, and the session's events the sidecar names against
// the journal, whose lines must hold them unchanged; then the data are made
// again from those events and must be the sidecar's. What this cannot catch:
// both files made anew, consistently, from the true events with other text
// around them; the report's values themselves are checked through the data.
#pragma once

#include <string>
#include <vector>

struct ReportVerdict {
  std::string number;                    // as the sidecar names it; empty when unreadable
  size_t events = 0;                     // events the sidecar names
  std::vector<std::string> differences;  // in words; none: authentic
  bool Authentic() const { return differences.empty(); }
};

// reportPath: the report (HTML or PDF), its sidecar beside it; journalDir:
// the journal folder whose meter's events, the department's included, are
// looked up (ReadMeterJournal).
ReportVerdict VerifyReport(const std::string& reportPath, const std::string& journalDir);
