#include "Route.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/core/base/CsvField.h"
#include "app/core/base/FileSync.h"
#include "app/core/ops/MeterSnapshotRead.h"
#include "app/core/values/MeterSnapshotJson.h"
#include "app/core/values/ValueText.h"
#include "comm/LumClock.h"

namespace {

// The columns of route.csv, in order; RowOf fills them in this order.
constexpr const char* kColumns[] = {"address",  "baud",  "protocol",         "model",  "serial",
                                    "firmware", "seal",  "seal_date",        "k1_K0",  "k1_Ku",
                                    "k2_K0",    "k2_Ku", "since_last_visit", "result", "file"};
constexpr const char* kFailedText = "ошибка";

std::string AddressText(const FoundMeter& m) {
  return std::to_string(m.address) +
         (m.secondAddress ? "+" + std::to_string(*m.secondAddress) : std::string());
}

// Which meter of the scan a row is: its speed, protocol and address.
std::string KeyOf(const FoundMeter& m) {
  return std::to_string(m.baud) + "/" + ScanProtocolName(m.protocol) + "/" +
         std::to_string(m.address);
}

std::string CoefficientText(const Coefficient& c) {
  if (c.state == ValueState::Failed) return kFailedText;
  return c.Read() ? FloatText(c.stored) : std::string();
}

std::string ResultText(const MeterSnapshot& s) {
  if (s.result == ReadResult::NotFound) return "прибор не отвечает";
  if (s.result == ReadResult::PortError) return "порт не открывается";
  return s.AnyFailed() ? "прочитано не всё" : "прочитано";
}

// The row of a meter the route could not take a snapshot of.
RouteRow RowOf(const FoundMeter& m, const std::string& result) {
  RouteRow row(std::size(kColumns));
  row[0] = AddressText(m);
  row[1] = std::to_string(m.baud);
  row[2] = ScanProtocolName(m.protocol);
  row[3] = m.caption.empty() ? m.model : m.caption;
  row[4] = m.serial;
  row[13] = result;
  return row;
}

RouteRow RowOf(const FoundMeter& m, const MeterSnapshot& s, const RouteVisit& visit) {
  RouteRow row = RowOf(m, ResultText(s));
  if (s.caption) row[3] = *s.caption;
  if (s.serialState == ValueState::Read) row[4] = s.serial;
  row[5] = FirmwareCheckText(s.firmwareCheck);
  if (s.record.state == ValueState::Failed) {
    row[6] = row[7] = kFailedText;
  } else if (s.record.Valid()) {
    row[6] = s.record.Seal();
    row[7] = RecordDateText(s.record.raw).value_or("");
  }
  for (size_t ch = 0; ch < s.channels.size(); ++ch) {
    if (!s.channels[ch].present) continue;
    row[8 + 2 * ch] = CoefficientText(s.channels[ch].k[0]);
    row[9 + 2 * ch] = CoefficientText(s.channels[ch].k[1]);
  }
  row[12] = visit.sinceLastVisit;
  row[14] = visit.fileName;
  return row;
}

Json FoundToJson(const FoundMeter& m) {
  Json j;
  j["address"] = m.address;
  j["second_address"] = m.secondAddress ? Json(*m.secondAddress) : Json();
  j["baud"] = m.baud;
  j["protocol"] = ScanProtocolName(m.protocol);
  j["identification"] = m.identification;
  j["caption"] = m.caption;
  j["model"] = m.model;
  j["serial"] = m.serial;
  j["reply_ms"] = m.replyMs;
  j["state"] = FoundStateName(m.state);
  return j;
}

FoundMeter FoundFromJson(const Json& j) {
  FoundMeter m;
  m.address = j.at("address").get<uint8_t>();
  if (!j.at("second_address").is_null()) m.secondAddress = j["second_address"].get<uint8_t>();
  m.baud = j.at("baud").get<uint32_t>();
  m.protocol = j.at("protocol") == "3x" ? ScanProtocol::ThreeX : ScanProtocol::ModBus;
  m.identification = j.at("identification").get<std::string>();
  m.caption = j.at("caption").get<std::string>();
  m.model = j.at("model").get<std::string>();
  m.serial = j.at("serial").get<std::string>();
  m.replyMs = j.at("reply_ms").get<uint32_t>();
  m.state = j.at("state") == "meter" ? FoundState::Meter : FoundState::AddressConflict;
  return m;
}

// What the progress file holds: the scan's meters, the keys of those done
// and their rows, in the order they were done.
struct Progress {
  std::vector<FoundMeter> meters;
  std::vector<std::string> done;
  std::vector<RouteRow> rows;

  bool Done(const FoundMeter& m) const {
    return std::find(done.begin(), done.end(), KeyOf(m)) != done.end();
  }
};

std::string Path(const std::string& dir, const std::string& name) {
  return dir + "/" + name;
}

// Replaces the file as a whole: a reader, or a route resumed after a kill,
// sees the old file or the new one.
bool WriteWhole(const std::string& dir, const std::string& name, const std::string& contents) {
  const std::string path = Path(dir, name);
  const std::string temporary = path + ".new";
  if (!WriteFileDurably(temporary, contents) || !MoveIntoPlace(temporary, path)) return false;
  FlushFolder(dir);
  return true;
}

bool SaveProgress(const std::string& dir, const Progress& p) {
  Json j;
  j["meters"] = Json::array();
  for (const FoundMeter& m : p.meters)
    j["meters"].push_back(FoundToJson(m));
  j["done"] = p.done;
  j["rows"] = p.rows;
  return WriteWhole(dir, kRouteProgress,
                    j.dump(1, ' ', false, Json::error_handler_t::replace) + "\n") &&
         WriteWhole(dir, kRouteCsv, RouteCsv(p.rows));
}

std::optional<Progress> LoadProgress(const std::string& dir, std::string& error) {
  std::ifstream in;
  if (!OpenForReading(in, Path(dir, kRouteProgress))) {
    error = "в " + dir + " нет начатого обхода (" + kRouteProgress + ")";
    return std::nullopt;
  }
  const Json j = Json::parse(in, nullptr, false);
  try {
    Progress p;
    for (const Json& m : j.at("meters"))
      p.meters.push_back(FoundFromJson(m));
    p.done = j.at("done").get<std::vector<std::string>>();
    p.rows = j.at("rows").get<std::vector<RouteRow>>();
    return p;
  } catch (const Json::exception&) {
    error = Path(dir, kRouteProgress) + " повреждён";
    return std::nullopt;
  }
}

// A meter the scan saw at two speeds (a line whose meters answer at either)
// is visited once, at the first.
std::vector<FoundMeter> OncePerMeter(const std::vector<FoundMeter>& found) {
  std::vector<FoundMeter> meters;
  for (const FoundMeter& m : found) {
    const bool seen = std::any_of(meters.begin(), meters.end(), [&](const FoundMeter& o) {
      return !m.serial.empty() && o.serial == m.serial && o.model == m.model;
    });
    if (!seen) meters.push_back(m);
  }
  return meters;
}

}  // namespace

std::string RouteCsvHeader() {
  std::string out;
  for (const char* c : kColumns)
    out += std::string(out.empty() ? "" : ",") + c;
  return out + "\n";
}

std::string CsvLine(const std::vector<std::string>& cells) {
  std::string out;
  for (size_t i = 0; i < cells.size(); ++i)
    out += (i ? "," : "") + CsvField(cells[i]);
  return out + "\n";
}

std::string RouteCsv(const std::vector<RouteRow>& rows) {
  std::string out = RouteCsvHeader();
  for (const RouteRow& row : rows)
    out += CsvLine(row);
  return out;
}

std::string RouteFileName(const MeterSnapshot& snapshot, const std::string& extension) {
  std::string name =
      snapshot.serial.empty() ? "адрес-" + std::to_string(snapshot.address) : snapshot.serial;
  for (char& c : name)
    if (std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos ||
        static_cast<unsigned char>(c) < 0x20)
      c = '_';
  return name + extension;
}

RouteVisit UnjournalledVisit(const MeterSnapshot& snapshot) {
  return {RouteFileName(snapshot, ".json"),
          SnapshotToJson(snapshot).dump(2, ' ', false, Json::error_handler_t::replace) + "\n",
          kNoJournalVisit};
}

RouteOutcome TRoute::Run(const RouteRequest& request, const Catalogue& catalogue,
                         RouteRecorder& recorder, RouteListener& listener) {
  RouteOutcome outcome;
  std::error_code ec;
  std::filesystem::create_directories(
      std::filesystem::path(std::u8string(request.dir.begin(), request.dir.end())), ec);
  Progress progress;
  if (request.resume) {
    auto loaded = LoadProgress(request.dir, outcome.error);
    if (!loaded) {
      outcome.result = RouteResult::NothingToResume;
      return outcome;
    }
    progress = std::move(*loaded);
  } else {
    scan.VerTable = catalogue.verTable;
    const ScanOutcome found = scan.Run(request.scan, listener);
    if (found.result != ScanResult::Done) {
      outcome.result =
          found.result == ScanResult::Cancelled ? RouteResult::Cancelled : RouteResult::PortError;
      outcome.error = found.error;
      return outcome;
    }
    progress.meters = OncePerMeter(found.meters);
  }
  // Written before the first meter: the scan's result is kept even if the
  // route is killed in the first snapshot, and route.csv catches up with a
  // progress file that a kill left one step ahead of it.
  if (!SaveProgress(request.dir, progress)) {
    outcome.result = RouteResult::FileError;
    outcome.error = "не удалось записать " + Path(request.dir, kRouteProgress);
    return outcome;
  }
  outcome.resumed = progress.done.size();
  const uint64_t startMs = lum::NowMs();
  uint64_t visitsMs = 0;
  for (const FoundMeter& m : progress.meters) {
    if (progress.Done(m)) continue;
    RouteProgress p{
        progress.done.size(), progress.meters.size(), m.address, m.baud, lum::NowMs() - startMs,
        std::nullopt};
    if (outcome.visited)
      p.remainingMs = visitsMs / outcome.visited * (progress.meters.size() - progress.done.size());
    if (listener.Cancelled()) {
      outcome.result = RouteResult::Cancelled;
      break;
    }
    listener.OnMeter(p);
    const uint64_t visitStart = lum::NowMs();
    RouteRow row;
    if (m.state == FoundState::AddressConflict) {
      row = RowOf(m, kAddressConflictText);
    } else if (m.model.empty()) {
      row = RowOf(m, "модель не поддерживается");
    } else {
      PortSpec spec = request.scan.port;
      spec.baud = m.baud;
      spec.address = m.address;
      const MeterSnapshot snapshot = TakeSnapshot(spec, catalogue, trace);
      if (snapshot.result == ReadResult::PortError) {
        // The line itself is gone: this meter and the rest wait for --resume.
        outcome.result = RouteResult::PortError;
        outcome.error = kPortOpenError + spec.name;
        break;
      }
      const RouteVisit visit = recorder.Record(snapshot);
      if (!visit.fileName.empty() && !WriteWhole(request.dir, visit.fileName, visit.contents)) {
        outcome.result = RouteResult::FileError;
        outcome.error = "не удалось записать " + Path(request.dir, visit.fileName);
        break;
      }
      row = RowOf(m, snapshot, visit);
    }
    progress.done.push_back(KeyOf(m));
    progress.rows.push_back(row);
    if (!SaveProgress(request.dir, progress)) {
      outcome.result = RouteResult::FileError;
      outcome.error = "не удалось записать " + Path(request.dir, kRouteProgress);
      break;
    }
    ++outcome.visited;
    visitsMs += lum::NowMs() - visitStart;
    p.done = progress.done.size();
    p.elapsedMs = lum::NowMs() - startMs;
    p.remainingMs = visitsMs / outcome.visited * (progress.meters.size() - progress.done.size());
    listener.OnMeterDone(row, p);
  }
  outcome.rows = progress.rows;
  return outcome;
}
