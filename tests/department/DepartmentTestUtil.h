// What the tests of the department's record share: the throwaway server with
// a fresh database per test and its schema, journal folders filled with
// events of given workstations, and the set of events a folder holds.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/department/DepartmentStore.h"
#include "app/department/DepartmentSync.h"
#include "app/journal/JournalReader.h"
#include "app/journal/JournalWriter.h"
#include "support/PgServer.h"
#include "support/TempDir.h"

class DepartmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    server = PgServer::Shared(why);
    if (!server) GTEST_SKIP() << "no PostgreSQL server for the department's record: " << why;
    dir = MakeTempDir("calibrate-department");
    NewRecord();
  }

  // A fresh database with the schema, for the next part of a test.
  void NewRecord() {
    database = server->NewDatabase();
    const auto store = Open();
    std::string error;
    ASSERT_TRUE(store && store->Init(error)) << error;
  }

  // The hashes of every event the server holds.
  std::set<std::string> ServerHashes() const {
    std::set<std::string> hashes;
    const std::string out = server->Sql(database, "SELECT hash FROM events");
    for (size_t at = 0; at + 64 <= out.size(); at += 65)
      hashes.insert(out.substr(at, 64));
    return hashes;
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }

  std::unique_ptr<DepartmentStore> Open(const std::string& user = "postgres") const {
    std::string error;
    auto store = DepartmentStore::Open(server->Url(database, user), error);
    EXPECT_TRUE(store) << error;
    return store;
  }

  // count events of workstation ws for meter serial into folder, as a
  // session of reads.
  static void Record(const std::string& folder, const std::string& ws, const std::string& serial,
                     int count) {
    const JournalWriter writer(folder);
    for (int i = 0; i < count; ++i) {
      JournalEvent e;
      e.kind = "read";
      e.engineer = "инженер " + ws;
      e.workstation = ws;
      e.program = "calibrate-cli 1.1";
      e.model = "ZFK-36";
      e.serial = serial;
      e.payload = {{"n", i}, {"ws", ws}};
      ASSERT_TRUE(writer.Append(e).ok);
    }
  }

  SyncReport Sync(const std::string& folder, const std::string& ws, const std::string& site = "s1",
                  const std::string& user = "postgres") const {
    const auto store = Open(user);
    if (!store) return {};
    SyncRequest request;
    request.dir = folder;
    request.workstation = ws;
    request.site = site;
    return SyncJournal(*store, request);
  }

  // The hashes of every event the folder holds of meter serial.
  static std::set<std::string> Held(const std::string& folder, const std::string& serial) {
    std::set<std::string> hashes;
    for (const JournalRecord& r : ReadMeterJournal(folder, serial).records)
      hashes.insert(r.hash);
    return hashes;
  }

  std::string Folder(const std::string& name) const { return dir + "/" + name; }

  PgServer* server = nullptr;
  std::string database, dir;
};
