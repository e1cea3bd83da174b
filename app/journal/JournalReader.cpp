#include "JournalReader.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_set>

#include "DepartmentFolder.h"
#include "JournalFile.h"
#include "JournalLine.h"
#include "app/core/base/RegularFile.h"

namespace fs = std::filesystem;

namespace {

std::string Text(const nlohmann::json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

int Number(const nlohmann::json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_number_integer() ? it->get<int>() : 0;
}

JournalRecord RecordOf(size_t line, const ParsedJournalLine& parsed) {
  const nlohmann::json& e = parsed.event;
  JournalRecord record;
  record.line = line;
  record.id = JournalEventId(parsed.hash);
  record.hash = parsed.hash;
  record.timeUtc = Text(e, "timeUtc");
  record.timeLocal = Text(e, "timeLocal");
  record.event.kind = Text(e, "kind");
  record.event.engineer = Text(e, "engineer");
  record.event.reason = Text(e, "reason");
  record.event.computer = Text(e, "computer");
  record.event.workstation = Text(e, "workstation");
  record.event.program = Text(e, "program");
  record.event.port = Text(e, "port");
  record.event.speed = Number(e, "speed");
  record.event.address = Number(e, "address");
  record.event.model = Text(e, "model");
  record.event.serial = Text(e, "serial");
  const auto seen = e.find("seen");
  if (seen != e.end() && seen->is_object()) record.seen = *seen;
  const auto payload = e.find("payload");
  if (payload != e.end()) record.event.payload = *payload;
  return record;
}

// A file walked line by line along its chain.
struct Examined {
  size_t lines = 0;
  std::vector<JournalRecord> records;  // in the file's order
  std::vector<JournalProblem> problems;
};

std::string AfterWhat(size_t anchorLine) {
  return anchorLine == 0 ? "начало файла" : "строку " + std::to_string(anchorLine);
}

Examined Examine(std::string_view content, bool department) {
  Examined out;
  std::string expected(kJournalGenesis);   // the hash the next valid line must carry as prev
  size_t anchorLine = 0;                   // the line that hash belongs to
  std::unordered_set<std::string> before;  // a department file's hashes so far
  for (size_t begin = 0; begin < content.size();) {
    const size_t newline = content.find('\n', begin);
    const bool torn = newline == std::string_view::npos;
    const size_t end = torn ? content.size() : newline;
    const size_t number = ++out.lines;
    const ParsedJournalLine parsed = ParseJournalLine(content.substr(begin, end - begin));
    begin = end + 1;
    // A last line without its newline was cut short; if only the newline is
    // missing, its event is whole and the writer continues the chain from it.
    if (torn)
      out.problems.push_back({number, JournalFault::TornLastLine,
                              "последняя строка не закончена: запись прервалась "
                              "(программа остановилась или диск заполнен)"});
    if (!parsed.valid) {
      if (!torn)
        out.problems.push_back({number, JournalFault::Unparsable, "no event: " + parsed.why});
      continue;
    }
    JournalRecord record = RecordOf(number, parsed);
    record.department = department;
    const bool linked = department ? parsed.prev == kJournalGenesis || before.count(parsed.prev)
                                   : parsed.prev == expected;
    record.chained = parsed.hashMatches && linked;
    if (!parsed.hashMatches)
      out.problems.push_back(
          {number, JournalFault::Edited, "хеш не совпадает с текстом: строку изменили"});
    else if (!linked)
      out.problems.push_back(
          {number, JournalFault::Unlinked,
           department ? std::string("не продолжает ни одну строку перед ней: строку удалили "
                                    "или строки переставили")
                      : "не продолжает " + AfterWhat(anchorLine) +
                            ": строку перед ней удалили или строки переставили"});
    if (department) before.insert(parsed.hash);
    out.records.push_back(std::move(record));
    expected = parsed.hash;
    anchorLine = number;
  }
  return out;
}

// The whole file under a shared lock, so that no append is seen half done.
bool ReadWhole(const std::string& path, std::string& content, std::string& error) {
  if (!IsRegularFile(PathFromUtf8(path), error)) {
    error = "journal " + path + ": " + error;
    return false;
  }
  const auto file =
      JournalFile::Open(PathFromUtf8(path), JournalFile::Access::Read, kJournalReadWait, error);
  uint64_t size = 0;
  if (!file || !file->Size(size, error) ||
      !file->ReadAt(0, static_cast<size_t>(size), content, error)) {
    error = "journal " + path + ": " + error;
    return false;
  }
  return true;
}

std::string Ambiguous(std::string_view ref) {
  return "с «" + std::string(ref) + "» начинается больше одного события";
}

// The events ref names in content (see FindJournalRecord); none with the
// reason in error.
std::vector<const JournalRecord*> Matching(const JournalFileContent& content, std::string_view ref,
                                           std::string& error) {
  std::vector<const JournalRecord*> found;
  if (ref == "last") {
    if (!content.records.empty()) found.push_back(&content.records.front());
    if (found.empty()) error = "в журнале нет событий";
    return found;
  }
  if (ref.size() < 4) {
    error = "в номере события не меньше 4 цифр, а не «" + std::string(ref) + "»";
    return found;
  }
  for (const JournalRecord& record : content.records)
    if (record.id.starts_with(ref)) found.push_back(&record);
  if (found.empty()) error = "в журнале нет события «" + std::string(ref) + "»";
  return found;
}

std::string FileName(const std::string& path) {
  return Utf8(PathFromUtf8(path).filename());
}

// Whether a meter's file of that name holds the events of the serial number:
// the writer names it "<model>_sn<serial>.jsonl", whatever the model.
bool NamedFor(const std::string& fileName, const std::string& serial) {
  if (serial.empty()) return false;
  JournalEvent probe;
  probe.model = "m";
  probe.serial = serial;
  const std::string name = JournalFileName(probe);
  const std::string ending = name.substr(name.find("_sn"));
  return fileName.size() > ending.size() && fileName.ends_with(ending);
}

}  // namespace

JournalFileContent ReadJournalFile(const std::string& path) {
  JournalFileContent content;
  content.file = path;
  try {
    std::string text;
    if (!ReadWhole(path, text, content.error)) return content;
    Examined examined = Examine(text, IsDepartmentFile(path));
    content.records.assign(std::make_move_iterator(examined.records.rbegin()),
                           std::make_move_iterator(examined.records.rend()));
    for (const JournalProblem& problem : examined.problems)
      if (problem.fault == JournalFault::Unparsable || problem.fault == JournalFault::TornLastLine)
        content.damaged.push_back({problem.line, problem.why});
    if (!examined.problems.empty()) content.breaks.push_back({path, examined.problems.front()});
    content.ok = true;
  } catch (const std::exception& e) {
    content = {};
    content.file = path;
    content.error = "journal " + path + ": " + e.what();
  }
  return content;
}

const JournalRecord* FindJournalRecord(const JournalFileContent& content, std::string_view ref,
                                       std::string& error) {
  const std::vector<const JournalRecord*> found = Matching(content, ref, error);
  if (found.size() > 1) error = Ambiguous(ref);
  return found.size() == 1 ? found.front() : nullptr;
}

JournalLookup FindJournalEvent(const std::string& dir, std::string_view ref) {
  JournalLookup lookup;
  try {
    std::vector<JournalFileEntry> files;
    if (!ListJournalFiles(dir, files, lookup.error)) return lookup;
    for (const JournalFileEntry& entry : files) {
      const std::string& file = entry.path;
      const JournalFileContent content = ReadJournalFile(file);
      for (const JournalRecord* record : Matching(content, ref, lookup.error)) {
        if (lookup.ok && ref != "last") {
          lookup = {};
          lookup.error = Ambiguous(ref);
          return lookup;
        }
        if (!lookup.ok || record->timeUtc > lookup.record.timeUtc) {
          lookup.ok = true;
          lookup.file = file;
          lookup.record = *record;
          lookup.breaks = content.breaks;
        }
      }
    }
    if (lookup.ok) lookup.error.clear();
  } catch (const std::exception& e) {
    lookup = {};
    lookup.error = std::string("не удалось найти в журнале: ") + e.what();
  }
  return lookup;
}

const char* JournalFaultName(JournalFault fault) {
  switch (fault) {
    case JournalFault::Edited:
      return "edited";
    case JournalFault::Unlinked:
      return "unlinked";
    case JournalFault::Unparsable:
      return "unparsable";
    case JournalFault::TornLastLine:
      return "torn last line";
  }
  return "?";
}

JournalVerdict VerifyJournalFile(const std::string& path) {
  JournalVerdict verdict;
  verdict.file = path;
  try {
    std::string text;
    if (!ReadWhole(path, text, verdict.error)) return verdict;
    Examined examined = Examine(text, IsDepartmentFile(path));
    verdict.lines = examined.lines;
    verdict.events = examined.records.size();
    verdict.problems = std::move(examined.problems);
    verdict.readable = true;
  } catch (const std::exception& e) {
    verdict = {};
    verdict.file = path;
    verdict.error = "journal " + path + ": " + e.what();
  }
  return verdict;
}

bool JournalFolderVerdict::AllOk() const {
  return ok &&
         std::all_of(files.begin(), files.end(), [](const JournalVerdict& v) { return v.Ok(); });
}

JournalFolderVerdict VerifyJournal(const std::string& dir) {
  JournalFolderVerdict verdict;
  try {
    std::vector<JournalFileEntry> files;
    if (!ListJournalFiles(dir, files, verdict.error)) return verdict;
    for (const JournalFileEntry& f : files)
      verdict.files.push_back(VerifyJournalFile(f.path));
    verdict.ok = true;
  } catch (const std::exception& e) {
    verdict = {};
    verdict.error = std::string("не удалось проверить журнал: ") + e.what();
  }
  return verdict;
}

JournalFileContent ReadMeterJournal(const std::string& dir, const std::string& meter,
                                    bool receivedTimes) {
  JournalFileContent all;
  try {
    std::vector<JournalFileEntry> files;
    if (!ListJournalFiles(dir, files, all.error)) return all;
    // A file's name stands for the serial number its events carry.
    std::string serial = meter;
    for (const JournalFileEntry& f : files)
      if (!f.department && FileName(f.path) == meter) {
        const JournalFileContent named = ReadJournalFile(f.path);
        if (!named.records.empty()) serial = named.records.front().event.serial;
      }
    std::unordered_set<std::string> hashes;
    std::string newestUtc;
    for (const auto& [file, department] : files) {
      if (FileName(file) != meter && !NamedFor(FileName(file), serial)) continue;
      JournalFileContent content = ReadJournalFile(file);
      if (!content.ok) {
        all.error = content.error;
        continue;
      }
      // The own file with the newest event names the meter from now on.
      const std::string newest = content.records.empty() ? "" : content.records.front().timeUtc;
      // The department's file names a meter this workstation never served.
      if (all.file.empty() || (!department && (newestUtc.empty() || newest > newestUtc))) {
        all.file = content.file;
        newestUtc = newest;
      }
      for (JournalRecord& r : content.records)
        if (hashes.insert(r.hash).second) all.records.push_back(std::move(r));
      all.damaged.insert(all.damaged.end(), content.damaged.begin(), content.damaged.end());
      all.breaks.insert(all.breaks.end(), content.breaks.begin(), content.breaks.end());
      all.ok = true;
    }
    const auto received = receivedTimes ? ReceivedTimes(dir) : decltype(ReceivedTimes(dir)){};
    for (JournalRecord& r : all.records)
      if (const auto it = received.find(r.hash); it != received.end()) r.received = it->second;
    std::stable_sort(
        all.records.begin(), all.records.end(),
        [](const JournalRecord& a, const JournalRecord& b) { return a.timeUtc > b.timeUtc; });
    if (!all.ok && all.error.empty()) all.error = "прибора " + meter + " нет в журнале " + dir;
  } catch (const std::exception& e) {
    all = {};
    all.error = std::string("не удалось прочитать журнал: ") + e.what();
  }
  return all;
}

JournalListing ListJournalMeters(const std::string& dir) {
  JournalListing listing;
  try {
    std::vector<JournalFileEntry> files;
    if (!ListJournalFiles(dir, files, listing.error)) return listing;
    for (const JournalFileEntry& entry : files) {
      const std::string& file = entry.path;
      const JournalFileContent content = ReadJournalFile(file);
      JournalMeter meter;
      meter.file = FileName(file);
      meter.error = content.error;
      meter.events = content.records.size();
      meter.damaged = content.damaged.size();
      if (!content.records.empty()) {
        const JournalRecord& newest = content.records.front();
        meter.model = newest.event.model;
        meter.serial = newest.event.serial;
        meter.port = newest.event.port;
        meter.address = newest.event.address;
        meter.lastTimeUtc = newest.timeUtc;
        meter.lastTimeLocal = newest.timeLocal;
      }
      // A journal written before every event named the meter by its model
      // can hold one meter in two files (one under the firmware table's
      // caption): they are one meter, listed under its newest file.
      const auto same = std::find_if(
          listing.meters.begin(), listing.meters.end(),
          [&](const JournalMeter& m) { return !meter.serial.empty() && m.serial == meter.serial; });
      if (same == listing.meters.end()) {
        listing.meters.push_back(std::move(meter));
        continue;
      }
      meter.events += same->events;
      meter.damaged += same->damaged;
      if (meter.lastTimeUtc < same->lastTimeUtc) {
        same->events = meter.events;
        same->damaged = meter.damaged;
      } else {
        *same = std::move(meter);
      }
    }
    listing.ok = true;
  } catch (const std::exception& e) {
    listing = {};
    listing.error = std::string("не удалось просмотреть журнал: ") + e.what();
  }
  return listing;
}

nlohmann::json ToJson(const JournalRecord& record) {
  const JournalEvent& e = record.event;
  return {{"id", record.id},
          {"line", record.line},
          {"timeUtc", record.timeUtc},
          {"timeLocal", record.timeLocal},
          {"kind", e.kind},
          {"engineer", e.engineer},
          {"reason", e.reason},
          {"computer", e.computer},
          {"workstation", e.workstation},
          {"department", record.department},
          {"received", record.received},
          {"program", e.program},
          {"port", e.port},
          {"speed", e.speed},
          {"address", e.address},
          {"model", e.model},
          {"serial", e.serial},
          {"payload", e.payload},
          {"chained", record.chained}};
}

nlohmann::json ToJson(const JournalFileContent& content) {
  nlohmann::json out = {{"file", content.file}, {"ok", content.ok}};
  if (!content.ok) out["error"] = content.error;
  out["events"] = nlohmann::json::array();
  for (const JournalRecord& record : content.records)
    out["events"].push_back(ToJson(record));
  out["damaged"] = nlohmann::json::array();
  for (const JournalDamage& damage : content.damaged)
    out["damaged"].push_back({{"line", damage.line}, {"why", damage.why}});
  out["breaks"] = nlohmann::json::array();
  for (const JournalBreak& b : content.breaks)
    out["breaks"].push_back({{"file", b.file},
                             {"line", b.problem.line},
                             {"fault", JournalFaultName(b.problem.fault)},
                             {"why", b.problem.why}});
  return out;
}

nlohmann::json ToJson(const JournalVerdict& verdict) {
  nlohmann::json out = {{"file", verdict.file}, {"ok", verdict.Ok()}};
  if (!verdict.readable) out["error"] = verdict.error;
  out["lines"] = verdict.lines;
  out["events"] = verdict.events;
  out["problems"] = nlohmann::json::array();
  for (const JournalProblem& p : verdict.problems)
    out["problems"].push_back(
        {{"line", p.line}, {"fault", JournalFaultName(p.fault)}, {"why", p.why}});
  return out;
}

nlohmann::json ToJson(const JournalFolderVerdict& verdict) {
  nlohmann::json out = {{"ok", verdict.AllOk()}, {"files", nlohmann::json::array()}};
  if (!verdict.ok) out["error"] = verdict.error;
  for (const JournalVerdict& file : verdict.files)
    out["files"].push_back(ToJson(file));
  return out;
}

nlohmann::json ToJson(const JournalListing& listing) {
  nlohmann::json out = {{"ok", listing.ok}, {"meters", nlohmann::json::array()}};
  if (!listing.ok) out["error"] = listing.error;
  for (const JournalMeter& m : listing.meters)
    out["meters"].push_back({{"file", m.file},
                             {"error", m.error},
                             {"model", m.model},
                             {"serial", m.serial},
                             {"port", m.port},
                             {"address", m.address},
                             {"events", m.events},
                             {"damaged", m.damaged},
                             {"lastTimeUtc", m.lastTimeUtc},
                             {"lastTimeLocal", m.lastTimeLocal}});
  return out;
}
