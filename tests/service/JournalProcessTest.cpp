// The journal between processes and against the system's limits (POSIX).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
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

// A file that cannot grow, as on a full disk: the process may not make files
// larger than they are (root too), so the append's write comes back short.
// The line is cut back off, and the file reads as it was.
TEST(JournalFull, AnAppendThatDoesNotFitLeavesTheFileAsItWas) {
  const std::string dir = MakeTempDir("journal-full");
  const JournalAppendResult first = JournalWriter(dir).Append(MeterEvent("120845", 1));
  ASSERT_TRUE(first.ok) << first.error;
  const std::string before = ReadBytes(first.file);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);  // the write fails instead of ending the process
    const rlimit limit{before.size() + 10, before.size() + 10};
    setrlimit(RLIMIT_FSIZE, &limit);
    const JournalAppendResult r = JournalWriter(dir).Append(MeterEvent("120845", 2));
    _exit(!r.ok && r.error.find("диск заполнен") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the append did not fail as such";
  EXPECT_EQ(ReadBytes(first.file), before);
  EXPECT_TRUE(JournalWriter(dir).Append(MeterEvent("120845", 3)).ok) << "room again: appends work";
  EXPECT_TRUE(VerifyJournalFile(first.file).Ok());
  fs::remove_all(dir);
}

TEST(JournalFull, UnwritablePlacesGiveAnErrorAndNothingElse) {
  const std::string dir = MakeTempDir("journal-full");
  const JournalEvent event = MeterEvent("120845", 1);
  // A device in the meter's file's place (here /dev/full, where every write
  // would fail with ENOSPC) is refused before anything is written to it.
  fs::create_symlink("/dev/full", fs::path(dir) / JournalFileName(event));
  const struct {
    std::string dir, says;
  } cases[] = {{dir, "это устройство, а не файл"},
               {"/proc/calibrate-journal", "не удалось создать папку журнала"}};
  for (const auto& c : cases) {
    const JournalAppendResult r = JournalWriter(c.dir).Append(event);
    EXPECT_FALSE(r.ok) << c.dir;
    EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
  }
  fs::remove(fs::path(dir) / JournalFileName(event));
  EXPECT_TRUE(JournalWriter(dir).Append(event).ok) << "space again: appends work";
  fs::remove_all(dir);
}
