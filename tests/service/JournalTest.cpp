// The journal in one process: digests, the chain and its check, damaged
// files, file names, folders that cannot be written, a lock held too long.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "JournalTestUtil.h"
#include "app/journal/JournalFile.h"
#include "app/journal/JournalReader.h"
#include "app/journal/Sha256.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

TEST(Sha256, KnownVectors) {  // FIPS 180-2's examples
  const struct {
    std::string in, out;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Sha256Hex(c.in), c.out) << c.in.substr(0, 10);
}

class Journal : public ::testing::Test {
 protected:
  std::string dir_ = MakeTempDir("journal");
  JournalWriter writer_{dir_};
  void TearDown() override { fs::remove_all(dir_); }

  std::string AppendEvents(int count, const std::string& serial = "120845") {
    std::string file;
    for (int n = 1; n <= count; ++n) {
      const JournalAppendResult r = writer_.Append(MeterEvent(serial, n));
      EXPECT_TRUE(r.ok) << r.error;
      file = r.file;
    }
    return file;
  }
};

TEST_F(Journal, AppendsChainAndReadBackNewestFirst) {
  const std::string file = AppendEvents(3);
  EXPECT_EQ(fs::path(file).filename(), "ZFK-36_sn120845.jsonl");
  const JournalVerdict verdict = VerifyJournalFile(file);
  EXPECT_TRUE(verdict.Ok()) << ToJson(verdict).dump();
  EXPECT_EQ(verdict.lines, 3u);
  const JournalFileContent content = ReadJournalFile(file);
  ASSERT_EQ(content.records.size(), 3u);
  const JournalRecord& newest = content.records.front();
  EXPECT_EQ(newest.line, 3u);
  EXPECT_EQ(newest.event.payload, MeterEvent("", 3).payload);
  EXPECT_EQ(newest.event.engineer, "Иванов");
  EXPECT_FALSE(newest.event.computer.empty());  // the host's name filled in
  EXPECT_TRUE(
      std::regex_match(newest.timeUtc, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")));
  EXPECT_TRUE(std::regex_match(
      newest.timeLocal, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")));
  // The first line starts the chain from the digest of nothing.
  EXPECT_EQ(nlohmann::json::parse(Lines(file)[0])["prev"], Sha256Hex(""));
}

TEST_F(Journal, FindsTheFirstBrokenLine) {
  const struct {
    const char* name;
    std::vector<int> order;  // the original lines (from 0) that stay, in their new order
    int edit;                // the line (from 0, after reordering) to edit; -1 none
    size_t broken;
    JournalFault fault;
    size_t problems;  // a move breaks the links on both sides of each moved line
  } cases[] = {
      {"edited", {0, 1, 2, 3}, 1, 2, JournalFault::Edited, 1},
      {"last line edited", {0, 1, 2, 3}, 3, 4, JournalFault::Edited, 1},
      {"removed", {0, 2, 3}, -1, 2, JournalFault::Unlinked, 1},
      {"first removed", {1, 2, 3}, -1, 1, JournalFault::Unlinked, 1},
      {"swapped", {0, 2, 1, 3}, -1, 2, JournalFault::Unlinked, 3},
  };
  const std::string file = AppendEvents(4);
  const std::vector<std::string> original = Lines(file);
  for (const auto& c : cases) {
    std::vector<std::string> lines;
    for (int i : c.order)
      lines.push_back(original[static_cast<size_t>(i)]);
    if (c.edit >= 0) {
      std::string& line = lines[static_cast<size_t>(c.edit)];
      line.replace(line.find("\"k0\":100.5"), 10, "\"k0\":100.6");
    }
    WriteLines(file, lines);
    const JournalVerdict verdict = VerifyJournalFile(file);
    ASSERT_FALSE(verdict.problems.empty()) << c.name;
    EXPECT_EQ(verdict.problems[0].line, c.broken) << c.name;
    EXPECT_EQ(verdict.problems[0].fault, c.fault) << c.name;
    EXPECT_EQ(verdict.problems.size(), c.problems) << c.name;
  }
}

TEST_F(Journal, CutLastLineIsReportedAndTheNextAppendContinues) {
  const struct {
    const char* name;
    size_t keep;  // bytes of the last line left, its newline dropped
    size_t problemsAfter;
  } cases[] = {{"cut in the middle", 40, 1}, {"only the newline lost", 0, 0}};
  for (const auto& c : cases) {
    const std::string file = AppendEvents(2, c.name);
    std::string bytes = ReadBytes(file);
    const size_t lastLine = bytes.rfind('\n', bytes.size() - 2) + 1;
    bytes.resize(c.keep ? lastLine + c.keep : bytes.size() - 1);
    WriteBytes(file, bytes);
    const JournalFileContent cut = ReadJournalFile(file);
    ASSERT_EQ(cut.damaged.size(), 1u) << c.name;
    EXPECT_EQ(cut.damaged[0].line, 2u);
    EXPECT_EQ(VerifyJournalFile(file).problems.at(0).fault, JournalFault::TornLastLine);

    ASSERT_TRUE(writer_.Append(MeterEvent(c.name, 3)).ok) << c.name;
    const JournalVerdict verdict = VerifyJournalFile(file);
    EXPECT_EQ(verdict.lines, 3u) << c.name;
    EXPECT_EQ(verdict.problems.size(), c.problemsAfter) << c.name;
    const JournalFileContent after = ReadJournalFile(file);
    EXPECT_TRUE(after.records.front().chained) << c.name;
    EXPECT_EQ(after.records.front().event.payload["n"], 3);
    EXPECT_EQ(after.records.back().event.payload["n"], 1) << "the lines before are still read";
  }
}

TEST(JournalFileName, SafeOnEverySystem) {
  const std::string longSerial(200, '7');
  const struct {
    std::string model, serial, port, name;
  } cases[] = {
      {"ZFK-36", "120845", "COM3", "ZFK-36_sn120845.jsonl"},
      {"GDZ-12.07S", "", "COM12", "GDZ-12.07S_COM12_addr5.jsonl"},
      {"", "", "/dev/ttyUSB0", "unknown_%2Fdev%2FttyUSB0_addr5.jsonl"},
      {"a/b\\c:d*e?\"<>|", "1", "", "a%2Fb%5Cc%3Ad%2Ae%3F%22%3C%3E%7C_sn1.jsonl"},
      {"CON", "", "", "CON__addr5.jsonl"},  // only the bare name is a device
      {"CON.", "", "", "_CON.__addr5.jsonl"},
      {"lpt1.x", "9", "", "_lpt1.x_sn9.jsonl"},
      {"ЗФК", "1", "", "%D0%97%D0%A4%D0%9A_sn1.jsonl"},
  };
  for (const auto& c : cases) {
    JournalEvent e = MeterEvent(c.serial, 0);
    e.model = c.model;
    e.port = c.port;
    EXPECT_EQ(JournalFileName(e), c.name);
  }
  JournalEvent a = MeterEvent(longSerial, 0), b = MeterEvent(longSerial + "8", 0);
  EXPECT_LE(JournalFileName(a).size(), 120u);
  EXPECT_NE(JournalFileName(a), JournalFileName(b));
}

TEST_F(Journal, FolderThatCannotBeMadeIsAnError) {
  WriteBytes(dir_ + "/file", "x");
  const JournalAppendResult r = JournalWriter(dir_ + "/file/journal").Append(MeterEvent("1", 1));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("не удалось создать папку журнала"), std::string::npos) << r.error;
  EXPECT_FALSE(writer_.Append(MeterEvent("1", 1, "erase")).ok);  // no such kind
  JournalEvent discarded = MeterEvent("1", 1);
  discarded.payload = nlohmann::json::parse("{", nullptr, false);  // would print as no JSON
  EXPECT_FALSE(writer_.Append(discarded).ok);
}

TEST_F(Journal, LockHeldTooLongIsAnErrorInBoundedTime) {
  const std::string file = AppendEvents(1);
  std::string error;
  const auto holder =
      JournalFile::Open(file, JournalFile::Access::Append, std::chrono::seconds(1), error);
  ASSERT_TRUE(holder) << error;
  const auto start = std::chrono::steady_clock::now();
  const JournalAppendResult r =
      JournalWriter(dir_, std::chrono::milliseconds(200)).Append(MeterEvent("120845", 2));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("блокировк"), std::string::npos) << r.error;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(ReadJournalFile(file).records.size(), 1u) << "the reader is not kept out";
}

TEST_F(Journal, ListsMetersAndFindsEvents) {
  AppendEvents(2, "111");
  std::this_thread::sleep_for(std::chrono::milliseconds(5));  // times are in milliseconds
  AppendEvents(1, "222");
  const JournalListing listing = ListJournalMeters(dir_);
  ASSERT_TRUE(listing.ok) << listing.error;
  ASSERT_EQ(listing.meters.size(), 2u);
  EXPECT_EQ(listing.meters[0].serial, "111");
  EXPECT_EQ(listing.meters[0].events, 2u);
  EXPECT_EQ(listing.meters[1].serial, "222");
  EXPECT_TRUE(ListJournalMeters(dir_ + "/none").ok);  // no folder yet: no meters

  const JournalFileContent first = ReadJournalFile(dir_ + "/ZFK-36_sn111.jsonl");
  const std::string id = first.records.back().id;
  const struct {
    std::string ref;
    bool found;
    int n;
  } cases[] = {{"last", true, 1},
               {id, true, 1},
               {id.substr(0, 6), true, 1},
               {"abc", false, 0},
               {"0123456789abcdef", false, 0}};
  for (const auto& c : cases) {
    const JournalLookup lookup = FindJournalEvent(dir_, c.ref);
    EXPECT_EQ(lookup.ok, c.found) << c.ref << ": " << lookup.error;
    if (c.found) EXPECT_EQ(lookup.record.event.payload["n"], c.n) << c.ref;
  }
  EXPECT_EQ(FindJournalEvent(dir_, "last").record.event.serial, "222");
}
