// The journal between processes and against the system's limits (POSIX).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "JournalTestUtil.h"
#include "app/journal/JournalReader.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

TEST(JournalProcesses, TwoAppendingAtOnceLoseNothing) {
  constexpr int kProcesses = 2, kEach = 200;
  const std::string dir = MakeTempDir("journal-procs");
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const JournalWriter writer(dir);
      int failed = 0;
      for (int n = 0; n < kEach; ++n) {
        JournalEvent e = MeterEvent("120845", n);
        e.payload["process"] = p;
        failed += !writer.Append(e).ok;
      }
      _exit(failed == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "an append failed";
  }
  const std::string file = dir + "/ZFK-36_sn120845.jsonl";
  const JournalVerdict verdict = VerifyJournalFile(file);
  EXPECT_TRUE(verdict.Ok()) << ToJson(verdict).dump();
  EXPECT_EQ(verdict.lines, size_t{kProcesses * kEach});
  // Every event once, each process's in the order it appended them.
  std::set<std::pair<int, int>> seen;
  std::vector<int> next(kProcesses, 0);
  const JournalFileContent content = ReadJournalFile(file);
  for (auto it = content.records.rbegin(); it != content.records.rend(); ++it) {
    const int p = it->event.payload["process"], n = it->event.payload["n"];
    EXPECT_TRUE(seen.insert({p, n}).second);
    EXPECT_EQ(n, next[static_cast<size_t>(p)]++);
  }
  EXPECT_EQ(seen.size(), size_t{kProcesses * kEach});
  fs::remove_all(dir);
}

TEST(JournalFull, UnwritablePlacesGiveAnErrorAndNothingElse) {
  const std::string dir = MakeTempDir("journal-full");
  const JournalEvent event = MeterEvent("120845", 1);
  // A disk that is full: the meter's file is /dev/full, where every write
  // fails with ENOSPC.
  fs::create_symlink("/dev/full", fs::path(dir) / JournalFileName(event));
  const struct {
    std::string dir, says;
  } cases[] = {{dir, "No space left"},
               {"/proc/calibrate-journal", "cannot make the journal folder"}};
  for (const auto& c : cases) {
    const JournalAppendResult r = JournalWriter(c.dir).Append(event);
    EXPECT_FALSE(r.ok) << c.dir;
    EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
  }
  fs::remove(fs::path(dir) / JournalFileName(event));
  EXPECT_TRUE(JournalWriter(dir).Append(event).ok) << "space again: appends work";
  fs::remove_all(dir);
}
