#include "ReportVerify.h"

#include <map>
#include <nlohmann/json.hpp>

#include "JournalReader.h"
#include "ReportSeal.h"
#include "Sha256.h"

namespace {

using nlohmann::json;

std::string Text(const json& j, const char* key) {
  const auto it = j.find(key);
  return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The sidecar read back and held to the one text its content has. Null, with
// what is wrong in verdict, when it cannot be had.
json ReadSidecar(const std::string& path, ReportVerdict& verdict) {
  std::string text;
  if (!ReadWholeFile(path, text)) {
    verdict.differences.push_back("нет файла сведений " + path);
    return nullptr;
  }
  json sidecar = json::parse(text, nullptr, false);
  if (sidecar.is_discarded() || !sidecar.is_object() || !sidecar.contains("data") ||
      !sidecar["data"].is_object() || sidecar.value("format", 0) != kReportSidecarFormat) {
    verdict.differences.push_back("файл сведений " + path + " не читается: его изменили");
    return nullptr;
  }
  verdict.number = Text(sidecar["data"], "number");
  if (sidecar.size() != 4 ||
      sidecar.dump(2, ' ', false, json::error_handler_t::replace) + "\n" != text)
    verdict.differences.push_back("файл сведений изменён: он не в том виде, в каком записан");
  if (Sha256Hex(CanonicalText(sidecar["data"])) != Text(sidecar, "data_sha256"))
    verdict.differences.push_back(
        "сведения отчёта изменены: их SHA-256 не тот, с которым составлен отчёт");
  return sidecar;
}

void CheckReportFile(const std::string& path, const json& sidecar, ReportVerdict& verdict) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    verdict.differences.push_back("файл отчёта " + path + " не читается");
    return;
  }
  if (Sha256Hex(bytes) != Text(sidecar, "report_sha256"))
    verdict.differences.push_back("файл отчёта изменён: его SHA-256 не тот, что в сведениях");
  // A page made with other data prints another hash; a PDF keeps its text
  // compressed, and its own hash above binds it.
  if (bytes.starts_with("<!DOCTYPE html") &&
      bytes.find(Text(sidecar, "data_sha256")) == std::string::npos)
    verdict.differences.push_back("в отчёте нет SHA-256 его сведений");
}

std::string EventText(const json& e) {
  return Text(e, "id") + " (" + Text(e, "kind") + ", " + Text(e, "timeUtc") + ")";
}

// The named events as the journal holds them, oldest first; what is missing
// or changed in verdict.
std::vector<JournalRecord> JournalEvents(const json& data, const std::string& dir,
                                         ReportVerdict& verdict) {
  const json& meter = data.value("meter", json::object());
  const std::string serial = Text(meter, "serial");
  const JournalFileContent content =
      ReadMeterJournal(dir, serial.empty() ? Text(meter, "journal") : serial);
  std::map<std::string, const JournalRecord*> byHash;
  for (const JournalRecord& r : content.records)
    byHash[r.hash] = &r;
  std::vector<JournalRecord> records;
  const json& events = data.value("events", json::array());
  verdict.events = events.size();
  if (!content.ok) verdict.differences.push_back("журнал: " + content.error);
  for (const json& e : events) {
    const auto it = byHash.find(Text(e, "hash"));
    if (it == byHash.end()) {
      if (content.ok) verdict.differences.push_back("события " + EventText(e) + " нет в журнале");
      continue;
    }
    if (!it->second->chained)
      verdict.differences.push_back("событие " + EventText(e) + " в журнале изменено (строка " +
                                    std::to_string(it->second->line) + ")");
    records.push_back(*it->second);
  }
  return records;
}

const char* FieldName(const std::string& key) {
  static const std::map<std::string, const char*> names = {{"number", "номер отчёта"},
                                                           {"meter", "прибор"},
                                                           {"engineer", "инженер"},
                                                           {"events", "события"},
                                                           {"found", "значения до обслуживания"},
                                                           {"left", "значения после обслуживания"}};
  const auto it = names.find(key);
  return it == names.end() ? nullptr : it->second;
}

// The data made again from the journal's events must be the sidecar's.
void CheckAgainstJournal(const json& data, std::vector<JournalRecord> records,
                         ReportVerdict& verdict) {
  if (records.empty()) return;
  JournalSession session{records.front().id, std::move(records)};
  const json again = ReportData(session, Text(data, "created"));
  for (const auto& [key, value] : again.items())
    if (!data.contains(key) || data[key] != value)
      verdict.differences.push_back(std::string("сведения расходятся с журналом: ") +
                                    (FieldName(key) ? FieldName(key) : key.c_str()));
}

}  // namespace

ReportVerdict VerifyReport(const std::string& reportPath, const std::string& journalDir) {
  ReportVerdict verdict;
  const json sidecar = ReadSidecar(ReportSidecarPath(reportPath), verdict);
  if (sidecar.is_null()) return verdict;
  CheckReportFile(reportPath, sidecar, verdict);
  const json& data = sidecar["data"];
  const size_t before = verdict.differences.size();
  std::vector<JournalRecord> records = JournalEvents(data, journalDir, verdict);
  if (verdict.differences.size() == before) CheckAgainstJournal(data, std::move(records), verdict);
  return verdict;
}
