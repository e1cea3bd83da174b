// route: every meter on a line, found by the scan, its as-found snapshot
// taken and filed, one row each in route.csv.
#include <cstdio>
#include <iostream>

#include "CommandTable.h"
#include "JournalEvents.h"
#include "MeterCommand.h"
#include "ScanOptions.h"
#include "app/core/ops/Route.h"
#include "app/journal/RouteVisit.h"
#include "cli/options/JournalOptions.h"
#include "cli/options/MeterOptions.h"
#include "cli/options/Validators.h"
#include "cli/output/Console.h"
#include "cli/output/ExitStatus.h"

namespace {

// "1:05"
std::string MinutesText(uint64_t ms) {
  const uint64_t s = (ms + 500) / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(s / 60),
                static_cast<unsigned long long>(s % 60));
  return text;
}

// The scan on one rewritten line of stderr, then one line per meter.
class RouteProgressLines : public RouteListener {
 public:
  void OnProgress(const ScanProgress& p) override {
    std::fprintf(stderr, "\rпоиск: %u бод, %s, адрес %3d, найдено %zu   ", p.baud,
                 ScanProtocolName(p.protocol), p.address, p.found);
  }
  void OnMeter(const RouteProgress& p) override {
    std::fprintf(stderr, "\r%zu/%zu, адрес %u, %u бод, прошло %s, осталось %s\n", p.done, p.total,
                 p.address, p.baud, MinutesText(p.elapsedMs).c_str(),
                 p.remainingMs ? MinutesText(*p.remainingMs).c_str() : "?");
  }
  void OnMeterDone(const RouteRow& row, const RouteProgress& p) override {
    std::fprintf(stderr, "%zu/%zu: %s, %s\n", p.done, p.total, row[4].c_str(), row[13].c_str());
  }
  bool Cancelled() override { return Interrupted(); }
};

// Each snapshot into the journal, as the snapshot command files it, and its
// visit report made from there; without the journal, the snapshot's JSON.
class CliRecorder : public RouteRecorder {
 public:
  CliRecorder(const CliOptions& o, Settings& settings) : o_(o), settings_(settings) {
    on_ = OverrideJournal(LoadJournalSettings(settings.Ini()), o.journalDir, o.noJournal).enabled;
  }
  RouteVisit Record(const MeterSnapshot& snapshot) override {
    if (!on_) return UnjournalledVisit(snapshot);
    if (!JournalTheSnapshot(o_, settings_, snapshot)) {
      RouteVisit visit = UnjournalledVisit(snapshot);
      visit.sinceLastVisit = "не записано в журнал";
      return visit;
    }
    return JournalledVisit(JournalDir(o_, settings_), snapshot);
  }
  bool On() const { return on_; }

 private:
  const CliOptions& o_;
  Settings& settings_;
  bool on_ = false;
};

ExitStatus StatusOf(const RouteOutcome& outcome) {
  switch (outcome.result) {
    case RouteResult::PortError:
      return ExitStatus::PortError;
    case RouteResult::NothingToResume:
      return ExitStatus::NotFound;
    case RouteResult::Cancelled:
      return ExitStatus::Interrupted;
    case RouteResult::FileError:
      return ExitStatus::Failed;
    case RouteResult::Done:
      break;
  }
  if (outcome.rows.empty()) return ExitStatus::NotFound;
  for (const RouteRow& row : outcome.rows)
    if (row[13] != "прочитано") return ExitStatus::Failed;
  return ExitStatus::Ok;
}

class Route final : public MeterCommand {
 public:
  Route()
      : MeterCommand(CliCommand::Route, "route",
                     "обойти все приборы на линии: найти и снять снимок каждого") {}

  void Declare(Declaration& d, CliOptions& o) const override {
    DeclareScanOptions(d, o);
    CLI::App& app = d.App();
    const CLI::Option* out =
        app.add_option("--out", o.route.out, "папка для route.csv и отчётов по приборам")
            ->type_name("DIR")
            ->check(Valued("--out"));
    d.Mandatory(out, "route: нужен --out DIR");
    app.add_flag("--resume", o.route.resume,
                 "продолжить прерванный обход в этой папке: без нового поиска, только "
                 "приборы, которые ещё не обойдены");
    AddMeterOptions(d, o, false, false);
    AddJournalRecording(d, o, kSnapshotEvent);
  }
  void Check(CliOptions& o) const override { CheckScanOptions(o); }
  std::string Description() const override {
    return "Ищет приборы на линии, как scan, затем у каждого найденного снимает снимок, как "
           "snapshot, ничего не записывая в прибор. В папке DIR: route.csv, по строке на прибор "
           "(адрес, скорость, протокол, модель, серийный номер, сверка ПО, пломба и её дата, K0 "
           "и Ku каждого канала, что изменилось с прошлого визита по журналу, результат, файл), "
           "и по прибору файл: отчёт о визите <серийный номер>.html, когда журнал ведётся, "
           "иначе снимок <серийный номер>.json. Прерванный (Ctrl+C или kill) обход "
           "продолжает --resume с той же папкой: найденные приборы берутся из route.progress, "
           "обойдённые не опрашиваются второй раз. Ход обхода идёт в stderr.\n";
  }
  std::string Statuses() const override {
    return "Коды завершения: 0 прочитаны все приборы, 1 что-то не прочитано или файл не "
           "записывается, 2 ошибка командной строки, 3 порт не открывается, 4 приборы не "
           "найдены (или нет начатого обхода для --resume), 6 обход прерван (продолжит "
           "--resume).\n";
  }

 protected:
  LineChoice Choose(const CliOptions& o, const Settings&) const override {
    return ScanLineChoice(o);
  }
  int RunOnLine(const CliOptions& o, Settings& settings, MeterLine& line) const override {
    RouteRequest request;
    request.scan = ScanRequestOf(o, settings, line);
    request.dir = o.route.out;
    request.resume = o.route.resume;
    if (request.scan.port.device.empty()) {
      std::cerr << "Ошибка: порт не выбран (--port)\n";
      return Code(ExitStatus::PortError);
    }
    CatchInterrupt();
    TRoute route;
    route.trace = line.trace;
    CliRecorder recorder(o, settings);
    if (!recorder.On())
      std::cerr << "журнал не ведётся: вместо отчётов в " << request.dir
                << " записываются снимки (JSON)\n";
    RouteProgressLines progress;
    const RouteOutcome outcome = route.Run(request, line.catalogue, recorder, progress);
    std::fprintf(stderr, "\n");
    if (!outcome.error.empty()) std::cerr << "Ошибка: " << outcome.error << "\n";
    if (outcome.result == RouteResult::Cancelled)
      std::cerr << "обход прерван; продолжить: --resume --out " << request.dir << "\n";
    std::cout << "обойдено приборов: " << outcome.rows.size() << " (в этот раз " << outcome.visited
              << ") -> " << request.dir << "/" << kRouteCsv << "\n";
    return Code(StatusOf(outcome));
  }
};

}  // namespace

const Command& RouteCommand() {
  static const Route command;
  return command;
}
