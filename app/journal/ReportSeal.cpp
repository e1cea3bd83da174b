#include "ReportSeal.h"

#include <chrono>
#include <fstream>
#include <sstream>

#include "JournalFile.h"
#include "JournalWriter.h"
#include "QrPng.h"
#include "ReportQr.h"
#include "ServiceReport.h"
#include "SessionState.h"
#include "Sha256.h"

namespace {

using nlohmann::json;

json Values(const MeterState& state) {
  json values = json::object();
  for (const StateField& f : state)
    values[f.key] = f.value;
  return values;
}

std::string Engineer(const JournalSession& s) {
  std::string engineer;
  for (const JournalRecord& r : s.records)
    if (!r.event.engineer.empty()) engineer = r.event.engineer;
  return engineer;
}

std::string UtcNow() {
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  // Every part fits an int; the durations' counts are long long on Windows.
  const auto two = [](auto n) {
    const int v = static_cast<int>(n);
    return (v < 10 ? "0" : "") + std::to_string(v);
  };
  return std::to_string(static_cast<int>(date.year())) + "-" +
         two(static_cast<unsigned>(date.month())) + "-" + two(static_cast<unsigned>(date.day())) +
         "T" + two(time.hours().count()) + ":" + two(time.minutes().count()) + ":" +
         two(time.seconds().count()) + "Z";
}

std::string QrImage(const std::string& text) {
  const std::optional<QrMatrix> qr = EncodeQr(text);
  if (!qr) return {};
  return "data:image/png;base64," + Base64(QrPng(*qr));
}

}  // namespace

json ReportData(const JournalSession& s, const std::string& createdUtc) {
  json events = json::array();
  for (const JournalRecord& r : s.records)
    events.push_back(
        {{"id", r.id}, {"hash", r.hash}, {"kind", r.event.kind}, {"timeUtc", r.timeUtc}});
  const JournalEvent& last = s.records.empty() ? JournalEvent{} : s.records.back().event;
  const SessionState state = FullestState(s.records);
  return {{"number", ReportNumber(s)},
          {"meter",
           {{"model", last.model}, {"serial", last.serial}, {"journal", JournalFileName(last)}}},
          {"engineer", Engineer(s)},
          {"created", createdUtc},
          {"events", events},
          {"found", Values(state.found)},
          {"left", Values(state.left)}};
}

std::string CanonicalText(const json& data) {
  return data.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string ReportQrText(const std::string& number, const std::string& dataHash) {
  return "CALIBRATE REPORT " + number + " SHA256 " + dataHash;
}

ReportSeal MakeReportSeal(const JournalSession& session) {
  ReportSeal seal;
  seal.data = ReportData(session, UtcNow());
  seal.dataHash = Sha256Hex(CanonicalText(seal.data));
  seal.qrText = ReportQrText(seal.data.at("number").get<std::string>(), seal.dataHash);
  return seal;
}

std::string ReportSealHtml(const ReportSeal& seal) {
  const std::string image = QrImage(seal.qrText);
  std::string h = "<h2>Подлинность</h2>\n<table><tr>";
  if (!image.empty())
    h +=
        "<td><img class=\"qr\" src=\"" + image + "\" width=\"120\" height=\"120\" alt=\"QR\"></td>";
  h += "<td>SHA-256 сведений отчёта:<br><code class=\"seal\">" + seal.dataHash +
       "</code><br>Сведения лежат рядом с отчётом в файле с тем же именем и окончанием «.json»; "
       "проверка: calibrate-cli report verify ФАЙЛ_ОТЧЁТА</td></tr></table>\n";
  // A browser that draws page boxes repeats the hash and the code on every page.
  h += "<style>\n@page { @bottom-center { content: \"SHA-256 сведений: " + seal.dataHash +
       "\"; font-size: 6pt; }";
  if (!image.empty()) h += "\n  @bottom-left { content: url(\"" + image + "\"); }";
  return h + " }\n</style>\n";
}

std::string ReportSidecarPath(const std::string& reportPath) {
  return reportPath + ".json";
}

std::string ReportSidecarText(const ReportSeal& seal, const std::string& reportBytes) {
  const json sidecar = {{"format", kReportSidecarFormat},
                        {"data", seal.data},
                        {"data_sha256", seal.dataHash},
                        {"report_sha256", Sha256Hex(reportBytes)}};
  return sidecar.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  bytes = text.str();
  return !in.bad();
}

bool WriteReportSidecar(const std::string& reportPath, const ReportSeal& seal, std::string& error) {
  std::string bytes;
  if (!ReadWholeFile(reportPath, bytes) || bytes.empty()) {
    error = "не удалось прочитать " + reportPath;
    return false;
  }
  const std::string path = ReportSidecarPath(reportPath);
  std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  out << ReportSidecarText(seal, bytes);
  out.flush();
  if (!out) error = "не удалось записать " + path;
  return static_cast<bool>(out);
}
