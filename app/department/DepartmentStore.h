// The department's record on its PostgreSQL server: one table of events,
// each the journal line a workstation recorded, identified by its SHA-256
// (DepartmentSchema.sql). This class is the only place that speaks SQL; it
// knows nothing of journal folders. No method throws: a failure comes back as
// false (or nullopt) with the reason in words, and a lost connection says so,
// so that the caller can stop and leave the rest to a later sync.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

// The schema version this program creates and works with.
inline constexpr int kDepartmentSchemaVersion = 1;

struct PushItem {
  std::string hash;         // the line's own hash
  std::string line;         // the journal line, without its newline
  std::string workstation;  // the one that recorded it, for lines that do not say
};

struct PushOutcome {
  bool ok = false;     // every batch reached the server (some events may be refused)
  std::string error;   // when not ok: why the push stopped
  size_t added = 0;    // new on the server
  size_t already = 0;  // the server had them (another sync sent them first)
  std::vector<std::pair<std::string, std::string>> refused;   // hash, the server's reason
  std::vector<std::pair<std::string, std::string>> received;  // hash, receipt time (UTC)
};

// An event of the record: where it stands in the server's order of receipt.
struct StoredIndex {
  int64_t seq = 0;
  std::string hash;
};

struct StoredEvent {
  int64_t seq = 0;
  std::string hash;
  std::string line;
  std::string received;  // UTC, ISO 8601 with milliseconds
};

// An event the server holds that is not what was recorded.
struct StoredFault {
  std::string hash;
  std::string serial;
  std::string why;
};

class DepartmentStore {
 public:
  // Progress of a long step: items done, of total.
  using Progress = std::function<void(size_t done, size_t total)>;

  // Connects with a libpq connection string or URL. A password in it is
  // refused: it belongs in PGPASSFILE / ~/.pgpass or the environment.
  static std::unique_ptr<DepartmentStore> Open(const std::string& url, std::string& error);
  ~DepartmentStore();
  DepartmentStore(const DepartmentStore&) = delete;
  DepartmentStore& operator=(const DepartmentStore&) = delete;

  // Creates or brings up to date the schema and the roles (the owner's task).
  bool Init(std::string& error);
  // The schema's version on the server; 0 when there is none.
  std::optional<int> SchemaVersion(std::string& error);

  // The hashes the server holds of events recorded by these workstations.
  std::optional<std::unordered_set<std::string>> HashesOf(
      const std::vector<std::string>& workstations, std::string& error);

  // Sends items in order (an event after the one it continues), in batches,
  // each committed on its own, filed under site. An event the server refuses
  // is listed with its reason; the others still go.
  PushOutcome Push(const std::vector<PushItem>& items, const std::string& site,
                   const Progress& progress);

  // The events of these meters (all visible ones when serials is empty and
  // all is set), in the order of receipt.
  std::optional<std::vector<StoredIndex>> Index(const std::vector<std::string>& serials, bool all,
                                                std::string& error);
  // The events with these positions, in the order of receipt.
  std::optional<std::vector<StoredEvent>> Fetch(const std::vector<int64_t>& seqs,
                                                std::string& error);

  // Every event whose line no longer matches its hash, whose columns
  // disagree with its line, or which continues no event the server holds.
  std::optional<std::vector<StoredFault>> Verify(std::string& error);

 private:
  struct Connection;  // libpqxx's, kept out of this header
  explicit DepartmentStore(std::unique_ptr<Connection> connection);
  std::unique_ptr<Connection> connection_;
};
