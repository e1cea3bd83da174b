// A meter's journal file as anything may have left it: a crash in the middle
// of an append, a full disk, an editor, garbage. The input is the file.
//
// Properties: reading and checking never fail or crash on a readable file;
// every line is an event or a damaged line (a last line that lacks only its
// newline is both); reading twice gives the same; the check and the read agree
// (events, damaged lines, chained events); and an append to whatever is there
// succeeds, comes back as the newest event, is chained, and changes nothing
// about the lines before it except that a torn last line is ended now: an
// unparsable line, or no problem at all when its event was whole.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzLine.h"
#include "app/journal/JournalReader.h"
#include "app/journal/JournalWriter.h"

namespace {

namespace fs = std::filesystem;

JournalEvent Event() {
  JournalEvent event;
  event.kind = "read";
  event.engineer = "fuzz";
  event.computer = "fuzz-host";
  event.program = "fuzz-journal";
  event.port = "COM3";
  event.speed = 9600;
  event.address = 5;
  event.model = "ZFK-36";
  event.serial = "120845";
  event.payload = {{"n", 1}};
  return event;
}

// One scratch folder for the whole run, on a memory file system where there is
// one (every append is flushed to the disk).
const std::string& ScratchDir() {
  static const std::string dir = [] {
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    const fs::path path = base / ("calibrate-fuzz-journal-" + std::to_string(getpid()));
    fs::create_directories(path);
    return path.string();
  }();
  return dir;
}

size_t Chained(const JournalFileContent& content) {
  size_t n = 0;
  for (const JournalRecord& record : content.records)
    n += record.chained;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = ScratchDir() + "/" + JournalFileName(Event());
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }

  const JournalFileContent before = ReadJournalFile(path);
  const JournalVerdict verdict = VerifyJournalFile(path);
  FUZZ_CHECK(before.ok && verdict.readable);
  std::vector<int> seen(verdict.lines + 1, 0);  // per line: 1 event, 2 damaged
  for (const JournalRecord& record : before.records)
    seen.at(record.line) += 1;
  for (const JournalDamage& damage : before.damaged)
    seen.at(damage.line) += 2;
  for (size_t line = 1; line <= verdict.lines; ++line)
    FUZZ_CHECK(seen[line] == 1 || seen[line] == 2 || (seen[line] == 3 && line == verdict.lines));
  FUZZ_CHECK(verdict.events == before.records.size());
  FUZZ_CHECK(Chained(before) + verdict.problems.size() - before.damaged.size() ==
             before.records.size());
  FUZZ_CHECK(ToJson(ReadJournalFile(path)) == ToJson(before));
  (void)ToJson(verdict).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  for (size_t i = 1; i < before.records.size(); ++i)
    FUZZ_CHECK(before.records[i - 1].line > before.records[i].line);  // newest first

  const JournalAppendResult appended = JournalWriter(ScratchDir()).Append(Event());
  FUZZ_CHECK(appended.ok);
  const JournalFileContent after = ReadJournalFile(path);
  const JournalVerdict verdictAfter = VerifyJournalFile(path);
  FUZZ_CHECK(after.ok && after.records.size() == before.records.size() + 1);
  const JournalRecord& newest = after.records.front();
  FUZZ_CHECK(newest.id == appended.id && newest.chained && newest.line == verdictAfter.lines);
  FUZZ_CHECK(newest.event.payload == Event().payload);
  // The problems before, but a torn last line ended by the append.
  std::vector<JournalProblem> expected;
  for (JournalProblem problem : verdict.problems) {
    if (problem.fault == JournalFault::TornLastLine) {
      if (seen[problem.line] == 3) continue;  // whole but for its newline: whole now
      problem.fault = JournalFault::Unparsable;
    }
    expected.push_back(problem);
  }
  FUZZ_CHECK(verdictAfter.problems.size() == expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    FUZZ_CHECK(verdictAfter.problems[i].line == expected[i].line &&
               verdictAfter.problems[i].fault == expected[i].fault);
  const JournalListing listing = ListJournalMeters(ScratchDir());
  FUZZ_CHECK(listing.ok && listing.meters.size() == 1);
  FUZZ_CHECK(listing.meters[0].events == after.records.size() &&
             listing.meters[0].serial == "120845");
  return 0;
}
