// The department's record on a real PostgreSQL server: merging by union,
// what the server refuses, and syncs that are cut off.
#include <filesystem>
#include <fstream>
#include <thread>

#include "DepartmentTestUtil.h"
#include "app/journal/DepartmentFolder.h"
#include "app/journal/JournalLine.h"
#include "support/JournalFill.h"

namespace fs = std::filesystem;

namespace {

void CopyFolder(const std::string& from, const std::string& to) {
  fs::copy(from, to, fs::copy_options::recursive);
}

}  // namespace

// Two workstations serve meter 1001 offline; each has a meter of its own too.
// Synced in either order (and once more, as the first learns of the second
// only then), both hold the same set of 1001's events, the server the same
// set whatever the order, each kept its own meter to itself, and every chain
// still verifies; a sync with nothing new sends nothing.
TEST_F(DepartmentTest, TwoWorkstationsMergeToOneSetInEitherOrder) {
  const std::string a = Folder("a"), b = Folder("b");
  Record(a, "ws-a", "1001", 3);
  Record(a, "ws-a", "2001", 2);
  Record(b, "ws-b", "1001", 4);
  Record(b, "ws-b", "3001", 1);
  std::set<std::string> serverSets[2];
  for (int order = 0; order < 2; ++order) {
    SCOPED_TRACE(order == 0 ? "a first" : "b first");
    if (order == 1) NewRecord();
    const std::string runA = Folder("run-a" + std::to_string(order));
    const std::string runB = Folder("run-b" + std::to_string(order));
    CopyFolder(a, runA);
    CopyFolder(b, runB);
    const std::string first = order == 0 ? runA : runB, second = order == 0 ? runB : runA;
    const std::string firstWs = order == 0 ? "ws-a" : "ws-b";
    const std::string secondWs = order == 0 ? "ws-b" : "ws-a";
    for (const auto& [folder, ws] :
         {std::pair{first, firstWs}, {second, secondWs}, {first, firstWs}}) {
      const SyncReport r = Sync(folder, ws);
      ASSERT_TRUE(r.ok) << SyncReportText(r);
    }
    EXPECT_EQ(Held(runA, "1001"), Held(runB, "1001"));
    EXPECT_EQ(Held(runA, "1001").size(), 7u);
    EXPECT_TRUE(Held(runA, "3001").empty());  // not a's meter: not taken
    EXPECT_TRUE(Held(runB, "2001").empty());
    for (const std::string& folder : {runA, runB})
      EXPECT_TRUE(VerifyJournal(folder).AllOk());
    const SyncReport again = Sync(first, firstWs);
    EXPECT_TRUE(again.ok);
    EXPECT_EQ(again.sent + again.received, 0u);
    serverSets[order] = ServerHashes();
  }
  EXPECT_EQ(serverSets[0], serverSets[1]);
  EXPECT_EQ(serverSets[0].size(), 10u);
}

// The application's role adds and reads, never changes; an inspector reads
// every site and adds nothing; an engineer sees only his sites' meters.
TEST_F(DepartmentTest, TheServerKeepsWhatItHolds) {
  server->Sql(database,
              "DO $$ BEGIN "
              "IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname='eng1') THEN "
              "CREATE ROLE eng1 LOGIN IN ROLE calibrate_engineer; END IF; "
              "IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname='eng2') THEN "
              "CREATE ROLE eng2 LOGIN IN ROLE calibrate_engineer; END IF; "
              "IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname='insp') THEN "
              "CREATE ROLE insp LOGIN IN ROLE calibrate_inspector; END IF; "
              "IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname='maint') THEN "
              "CREATE ROLE maint LOGIN BYPASSRLS; END IF; END $$; "
              "GRANT SELECT, UPDATE, DELETE ON events TO maint; "
              "INSERT INTO site_members VALUES ('eng1','north'),('eng2','south')");
  const std::string a = Folder("a"), b = Folder("b");
  Record(a, "ws-a", "1001", 2);
  Record(b, "ws-b", "2002", 2);
  ASSERT_TRUE(Sync(a, "ws-a", "north", "eng1").ok);
  ASSERT_TRUE(Sync(b, "ws-b", "south", "eng2").ok);
  // Filing under a site that is not his is refused.
  const std::string c = Folder("c");
  Record(c, "ws-c", "4004", 1);
  EXPECT_EQ(Sync(c, "ws-c", "south", "eng1").refused.size(), 1u);

  const struct {
    const char* user;
    const char* sql;
    bool allowed;
    const char* output;  // what a query's output holds
  } cases[] = {
      {"eng1", "UPDATE events SET kind = 'x'", false, "permission denied"},
      {"eng1", "DELETE FROM events", false, "permission denied"},
      {"eng1", "TRUNCATE events", false, "permission denied"},
      {"eng1", "SELECT string_agg(DISTINCT serial, ',') FROM events", true, "1001\n"},
      {"eng2", "SELECT string_agg(DISTINCT serial, ',') FROM events", true, "2002\n"},
      {"insp", "SELECT string_agg(DISTINCT serial, ',' ORDER BY serial) FROM events", true,
       "1001,2002\n"},
      {"insp",
       "INSERT INTO events (hash, line, workstation, site) SELECT md5(hash)||md5(hash), "
       "line, workstation, site FROM events LIMIT 1",
       false, "permission denied"},
      // Even a role granted more meets the trigger.
      {"maint", "UPDATE events SET kind = 'x'", false, "never changed"},
      {"maint", "DELETE FROM events", false, "never changed"},
      {"postgres", "SELECT count(*) FROM events WHERE kind = 'read'", true, "4\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.user) + ": " + c.sql);
    std::string out;
    EXPECT_EQ(server->Psql(database, c.user, c.sql, out) == 0, c.allowed) << out;
    EXPECT_NE(out.find(c.output), std::string::npos) << out;
  }
}

// An event the owner changed on the server is named by the server's check
// and, pulled, is left out and named; the rest still comes.
TEST_F(DepartmentTest, AnEventChangedOnTheServerIsNamed) {
  const std::string a = Folder("a"), b = Folder("b");
  Record(a, "ws-a", "1001", 3);
  Record(b, "ws-b", "1001", 1);
  ASSERT_TRUE(Sync(a, "ws-a").ok);
  const std::string hash =
      server->Sql(database, "SELECT hash FROM events ORDER BY seq OFFSET 1 LIMIT 1").substr(0, 64);
  server->Sql(
      database,
      "UPDATE events SET line = replace(line, '\"n\":1', '\"n\":7') WHERE hash = '" + hash + "'");
  std::string error;
  const auto faults = Open()->Verify(error);
  ASSERT_TRUE(faults) << error;
  ASSERT_EQ(faults->size(), 1u);
  EXPECT_EQ(faults->front().hash, hash);
  const SyncReport pulled = Sync(b, "ws-b");
  EXPECT_TRUE(pulled.ok) << SyncReportText(pulled);
  ASSERT_EQ(pulled.damaged.size(), 1u);
  EXPECT_EQ(pulled.damaged.front().rfind(JournalEventId(hash), 0), 0u);
  EXPECT_EQ(pulled.received, 2u);
}

// A sync cut off half way (the server stopped, the connection killed) says
// why, keeps what it sent, and the next sync sends the rest: every event
// once on the server, every receipt time known.
TEST_F(DepartmentTest, ASyncCutOffLosesNothing) {
  const std::string a = Folder("a");
  FillJournal(a, "ws-a", "1001", 2500, [](unsigned i) { return nlohmann::json{{"n", i}}; });
  const struct {
    const char* name;
    bool restart;
  } cases[] = {{"server stopped", true}, {"connection killed", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NewRecord();
    const std::string run = Folder(std::string("run-") + (c.restart ? "1" : "2"));
    CopyFolder(a, run);
    SyncRequest request{run, "ws-a", "s1", false, std::nullopt};
    bool cut = false;
    const auto store = Open();
    const SyncReport first = SyncJournal(*store, request, [&](const char*, size_t, size_t) {
      if (cut) return;
      cut = true;
      if (c.restart) {
        server->Stop();
      } else {
        server->Sql(database,
                    "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" +
                        database + "' AND pid <> pg_backend_pid()");
      }
    });
    EXPECT_FALSE(first.ok);
    EXPECT_NE(first.error.find("соединение"), std::string::npos) << first.error;
    EXPECT_EQ(first.sent, 1000u);  // the first batch
    if (c.restart) {
      ASSERT_TRUE(server->Start());
    }
    const SyncReport second = Sync(run, "ws-a");
    EXPECT_TRUE(second.ok) << SyncReportText(second);
    EXPECT_EQ(first.sent + second.sent, 2500u);
    EXPECT_EQ(server->Sql(database, "SELECT count(*) FROM events"), "2500\n");
    EXPECT_EQ(ReceivedTimes(run).size(), 2500u);
  }
}

// Two workstations syncing at the same moment both finish, and one more
// round gives each the other's events.
TEST_F(DepartmentTest, TwoSyncsAtOnce) {
  const std::string a = Folder("a"), b = Folder("b");
  const auto payload = [](unsigned i) { return nlohmann::json{{"n", i}}; };
  FillJournal(a, "ws-a", "1001", 1500, payload);  // two batches each
  FillJournal(b, "ws-b", "1001", 1500, payload);
  SyncReport ra, rb;
  std::thread ta([&] { ra = Sync(a, "ws-a"); });
  std::thread tb([&] { rb = Sync(b, "ws-b"); });
  ta.join();
  tb.join();
  EXPECT_TRUE(ra.ok) << SyncReportText(ra);
  EXPECT_TRUE(rb.ok) << SyncReportText(rb);
  ASSERT_TRUE(Sync(a, "ws-a").ok);
  ASSERT_TRUE(Sync(b, "ws-b").ok);
  EXPECT_EQ(Held(a, "1001"), Held(b, "1001"));
  EXPECT_EQ(Held(a, "1001").size(), 3000u);
}
