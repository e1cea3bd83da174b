#include "DepartmentBench.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/department/DepartmentStore.h"
#include "app/department/DepartmentSync.h"
#include "app/journal/Divergence.h"
#include "app/journal/JournalReader.h"
#include "app/journal/JournalWriter.h"
#include "support/JournalFill.h"
#include "support/PgServer.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned kEventsPerMeter = 100;
constexpr int kNoServer = 77;  // what ctest takes for a skipped test
constexpr double kPushLimitS = 20, kPullLimitS = 20, kHistoryLimitS = 1;

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A read event's payload of the usual size: both channels' coefficients and
// the identification, as calibrate-cli read --json gives them.
nlohmann::json ReadPayload(unsigned n) {
  nlohmann::json channels = nlohmann::json::array();
  for (int c = 1; c <= 2; ++c)
    channels.push_back({{"channel", c},
                        {"K0", {{"value", 0.0025 + n * 1e-7}, {"text", "0.0025"}}},
                        {"Ku", {{"value", 1.0012}, {"text", "1.0012"}}},
                        {"Gmax", {{"value", 40.0}, {"text", "40"}}}});
  return {{"result", "ok"},
          {"model", "ZFK-36"},
          {"identification", "ZFK-36 v3.12 (c) 2019"},
          {"firmware", {{"version", "3.12"}, {"crc32", "0x5A3C19E7"}, {"matches", true}}},
          {"record", {{"text", "Лиц.0123 v1.0"}, {"date", "2026-11-30"}, {"time", "10:15"}}},
          {"channels", channels},
          {"demo", false},
          {"run", "0123456789ab"}};
}

// The journal folder of one workstation: meters of kEventsPerMeter read
// events each; the first meter's serial number.
std::string MakeJournal(const std::string& dir, unsigned events) {
  const unsigned meters = std::max(1u, events / kEventsPerMeter);  // events a multiple of it
  for (unsigned m = 0; m < meters; ++m)
    FillJournal(dir, "bench-a", std::to_string(500000 + m), events / meters, ReadPayload);
  return "500000";
}

bool Report(const char* what, double seconds, double limit, bool judge) {
  const bool ok = seconds <= limit;
  std::printf("%-34s %8.2f s   limit %5.1f s%s\n", what, seconds, limit,
              judge && !ok ? "  FAILED" : "");
  return ok || !judge;
}

}  // namespace

int RunDepartmentBench(unsigned events, const std::optional<std::string>& database, bool quick) {
  std::string why, url;
  if (database) {
    url = *database;
  } else {
    PgServer* server = PgServer::Shared(why);
    if (!server) {
      std::fprintf(stderr, "calibrate-bench: no PostgreSQL server, nothing timed: %s\n",
                   why.c_str());
      return kNoServer;
    }
    url = server->Url(server->NewDatabase());
  }
  const std::string root = MakeTempDir("calibrate-bench-department");
  const std::string a = root + "/a", b = root + "/b";
  fs::create_directories(a);
  fs::create_directories(b);
  const std::string serial = MakeJournal(a, events);
  auto store = DepartmentStore::Open(url, why);
  if (!store || !store->Init(why)) {
    std::fprintf(stderr, "calibrate-bench: %s\n", why.c_str());
    return 2;
  }
  std::printf("# %u events over %u meters\n", events, std::max(1u, events / kEventsPerMeter));
  bool ok = true;
  auto start = std::chrono::steady_clock::now();
  const SyncReport pushed = SyncJournal(*store, {a, "bench-a", "bench", false, std::nullopt});
  ok = Report("push (sync of workstation a)", Since(start), kPushLimitS, !quick) && ok;
  start = std::chrono::steady_clock::now();
  const SyncReport pulled = SyncJournal(*store, {b, "bench-b", "bench", true, std::nullopt});
  ok = Report("pull (sync --all of workstation b)", Since(start), kPullLimitS, !quick) && ok;
  start = std::chrono::steady_clock::now();
  const JournalFileContent history = ReadMeterJournal(b, serial);
  const auto divergence = FindDivergence(JournalSessions(history));
  ok = Report("history of one meter in b", Since(start), kHistoryLimitS, !quick) && ok;
  std::printf("# sent %zu, received %zu, meter %s: %zu events%s\n", pushed.sent, pulled.received,
              serial.c_str(), history.records.size(), divergence ? ", divergent" : "");
  const bool complete = pushed.ok && pulled.ok && pushed.sent == events &&
                        pulled.received == events &&
                        history.records.size() == events / std::max(1u, events / kEventsPerMeter);
  if (!complete) std::printf("FAILED: %s%s\n", pushed.error.c_str(), pulled.error.c_str());
  std::error_code ec;
  fs::remove_all(root, ec);
  return ok && complete ? 0 : 1;
}
