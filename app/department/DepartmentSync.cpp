#include "DepartmentSync.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <unordered_set>

#include "DepartmentStore.h"
#include "app/journal/DepartmentFolder.h"
#include "app/journal/Divergence.h"
#include "app/journal/JournalFile.h"
#include "app/journal/JournalLine.h"
#include "app/journal/JournalReader.h"

namespace fs = std::filesystem;

namespace {

// Events fetched per query: a few megabytes.
constexpr size_t kFetchChunk = 2000;
// Another sync of this folder (a second window, a script) is waited for this
// long before this one gives up.
constexpr std::chrono::milliseconds kSyncLockWait{5000};

std::string Field(const nlohmann::json& event, const char* key) {
  const auto it = event.find(key);
  return it != event.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// What the folder holds: the own events in the files' order, and the hash of
// every event it holds, the department's included.
struct LocalEvents {
  std::vector<PushItem> own;
  std::set<std::string> workstations;  // of the own events
  std::set<std::string> serials;       // the meters this workstation served
  std::unordered_set<std::string> hashes;
};

bool ReadText(const std::string& path, std::string& text, std::string& error) {
  const auto file =
      JournalFile::Open(PathFromUtf8(path), JournalFile::Access::Read, kJournalReadWait, error);
  uint64_t size = 0;
  return file && file->Size(size, error) && file->ReadAt(0, static_cast<size_t>(size), text, error);
}

bool CollectLocal(const SyncRequest& request, LocalEvents& local, std::string& error) {
  std::vector<JournalFileEntry> files;
  if (!ListJournalFiles(request.dir, files, error)) return false;
  for (const auto& [path, department] : files) {
    std::string text;
    if (!ReadText(path, text, error)) {
      error = path + ": " + error;
      return false;
    }
    for (size_t begin = 0; begin < text.size();) {
      const size_t end = std::min(text.find('\n', begin), text.size());
      const std::string_view line = std::string_view(text).substr(begin, end - begin);
      begin = end + 1;
      const ParsedJournalLine parsed = ParseJournalLine(line);
      // A damaged or edited line is no event to send: journal verify names it.
      if (!parsed.valid || !parsed.hashMatches) continue;
      local.hashes.insert(parsed.hash);
      const std::string serial = Field(parsed.event, "serial");
      if (department || serial.empty()) continue;
      std::string workstation = Field(parsed.event, "workstation");
      if (workstation.empty()) workstation = request.workstation;
      local.workstations.insert(workstation);
      local.serials.insert(serial);
      local.own.push_back({parsed.hash, std::string(line), workstation});
    }
  }
  return true;
}

std::string Named(const std::string& hash, const std::string& why) {
  return JournalEventId(hash) + ": " + why;
}

void Push(DepartmentStore& store, const SyncRequest& request, const LocalEvents& local,
          const SyncProgress& progress, SyncReport& report) {
  const auto onServer =
      store.HashesOf({local.workstations.begin(), local.workstations.end()}, report.error);
  if (!onServer) return;
  std::vector<PushItem> missing;
  for (const PushItem& item : local.own)
    if (!onServer->count(item.hash)) missing.push_back(item);
  const PushOutcome outcome = store.Push(missing, request.site, [&](size_t done, size_t total) {
    if (progress) progress("отправка", done, total);
  });
  report.sent += outcome.added;
  report.already += outcome.already;
  for (const auto& [hash, why] : outcome.refused)
    report.refused.push_back(Named(hash, why));
  std::string error;
  if (!AppendReceivedTimes(request.dir, outcome.received, error) && outcome.ok)
    report.error = error;
  if (!outcome.ok) report.error = outcome.error;
}

// Files the fetched events in the department folder, each under its meter's
// name; an event that does not match its hash is named and left out.
bool FileFetched(const SyncRequest& request, const std::vector<StoredEvent>& events,
                 SyncReport& report, std::set<std::string>& touched) {
  std::map<std::string, std::vector<std::string>> byFile;
  std::vector<std::pair<std::string, std::string>> times;
  for (const StoredEvent& e : events) {
    const ParsedJournalLine parsed = ParseJournalLine(e.line);
    if (!parsed.valid || !parsed.hashMatches || parsed.hash != e.hash) {
      report.damaged.push_back(
          Named(e.hash, parsed.valid ? "хеш не совпадает с текстом: событие изменили на сервере"
                                     : "не строка журнала: " + parsed.why));
      continue;
    }
    JournalEvent meter;
    meter.model = Field(parsed.event, "model");
    meter.serial = Field(parsed.event, "serial");
    touched.insert(meter.serial);
    byFile[JournalFileName(meter)].push_back(e.line);
    times.emplace_back(e.hash, e.received);
  }
  for (const auto& [file, lines] : byFile)
    if (!AppendDepartmentLines(request.dir, file, lines, report.error)) return false;
  report.received += times.size();
  return AppendReceivedTimes(request.dir, times, report.error);
}

void Pull(DepartmentStore& store, const SyncRequest& request, const LocalEvents& local,
          const SyncProgress& progress, SyncReport& report, std::set<std::string>& touched) {
  std::vector<std::string> serials(local.serials.begin(), local.serials.end());
  if (request.serial) serials = {*request.serial};
  const bool all = request.all && !request.serial;
  if (serials.empty() && !all) return;
  const auto index = store.Index(serials, all, report.error);
  if (!index) return;
  std::vector<int64_t> missing;
  for (const StoredIndex& i : *index)
    if (!local.hashes.count(i.hash)) missing.push_back(i.seq);
  for (size_t from = 0; from < missing.size(); from += kFetchChunk) {
    const std::vector<int64_t> chunk(
        missing.begin() + static_cast<ptrdiff_t>(from),
        missing.begin() + static_cast<ptrdiff_t>(std::min(missing.size(), from + kFetchChunk)));
    const auto events = store.Fetch(chunk, report.error);
    if (!events || !FileFetched(request, *events, report, touched)) return;
    if (progress) progress("приём", from + chunk.size(), missing.size());
  }
}

}  // namespace

SyncReport SyncJournal(DepartmentStore& store, const SyncRequest& request,
                       const SyncProgress& progress) {
  SyncReport report;
  std::error_code ec;
  const fs::path folder = PathFromUtf8(request.dir) / kDepartmentFolder;
  fs::create_directories(folder, ec);
  const auto lock = JournalFile::Open(folder / "sync.lock", JournalFile::Access::Append,
                                      kSyncLockWait, report.error);
  if (!lock) {
    report.error = "другая синхронизация этой папки журнала ещё идёт (" + report.error + ")";
    return report;
  }
  LocalEvents local;
  if (!CollectLocal(request, local, report.error)) return report;
  Push(store, request, local, progress, report);
  if (!report.error.empty()) return report;
  // Only another workstation's events can make a meter's record diverge.
  std::set<std::string> touched;
  Pull(store, request, local, progress, report, touched);
  if (!report.error.empty()) return report;
  for (const std::string& serial : touched) {
    const JournalFileContent content = ReadMeterJournal(request.dir, serial, false);
    if (content.ok && FindDivergence(JournalSessions(content))) report.divergent.push_back(serial);
  }
  report.ok = true;
  return report;
}

std::string SyncReportText(const SyncReport& r) {
  std::string text = "отправлено: " + std::to_string(r.sent) +
                     ", получено: " + std::to_string(r.received) +
                     ", расхождений: " + std::to_string(r.divergent.size()) + "\n";
  if (r.already) text += "уже были на сервере: " + std::to_string(r.already) + "\n";
  for (const std::string& s : r.refused)
    text += "сервер не принял событие " + s + "\n";
  for (const std::string& s : r.damaged)
    text += "событие с сервера повреждено и не принято " + s + "\n";
  for (const std::string& s : r.divergent)
    text += "прибор " + s + ": " + kDivergenceText + "\n";
  if (!r.ok)
    text += "синхронизация прервана: " + r.error + "\nзапустите её ещё раз: сделанное сохранено\n";
  return text;
}
