// calibrate: the runs at a test bench judged by a class of accuracy; with
// --sample the indicated flow of each run is the meter's present G, averaged
// over the run. Nothing is written to the meter.
#include <iostream>

#include "CommandTable.h"
#include "MeterCommand.h"
#include "app/core/base/RegularFile.h"
#include "app/core/ops/BenchRuns.h"
#include "app/core/ops/LiveValues.h"
#include "cli/options/LineOptions.h"
#include "cli/options/MeterOptions.h"
#include "cli/options/Validators.h"
#include "cli/output/Console.h"
#include "cli/output/ExitStatus.h"
#include "comm/LumClock.h"
#include "sim/TrueFlow.h"

namespace {

// The time between two samples of G during a run.
constexpr uint64_t kSampleIntervalMs = 200;

std::optional<double> Flow(const std::optional<std::string>& text, const char* option) {
  if (!text) return std::nullopt;
  const auto value = Finite(*text);
  if (!value) throw Refusal{std::string(option) + " " + *text + ": ожидается число"};
  return *value;
}

ProfileFlows Flows(const BenchCliOptions& b) {
  return {Flow(b.q1, "--q1"),       Flow(b.q2, "--q2"), Flow(b.q3, "--q3"),
          Flow(b.ratio, "--ratio"), Flow(b.qp, "--qp"), Flow(b.repeatability, "--repeatability")};
}

// The mean G of the run's channel over its duration; false when the meter
// gave no value at all, or Ctrl+C stopped it.
bool SampleRun(Meter& meter, BenchRun& run) {
  const uint64_t start = lum::NowMs();
  const auto durationMs = static_cast<uint64_t>(run.durationS * 1000);
  double sum = 0;
  for (uint64_t due = start; !Interrupted(); due += kSampleIntervalMs) {
    const LiveSample s = PollPresent(meter, start);
    const size_t ch = run.channel - 1u;
    if (ch < s.channels && s.ok[ch]) {
      sum += s.value[ch];
      ++run.samples;
    }
    if (lum::NowMs() - start >= durationMs) break;
    while (lum::NowMs() < due + kSampleIntervalMs && !Interrupted())
      lum::SleepMs(10);
  }
  if (run.samples == 0) return false;
  run.indicated = sum / static_cast<double>(run.samples);
  return !Interrupted();
}

class Calibrate final : public MeterCommand {
 public:
  Calibrate()
      : MeterCommand(CliCommand::Calibrate, "calibrate",
                     "поверка на стенде: прогоны, погрешность и класс прибора") {}

  void Declare(Declaration& d, CliOptions& o) const override {
    CLI::App& app = d.App();
    BenchCliOptions& b = o.bench;
    d.Mandatory(app.add_option("--runs", b.runs, "файл прогонов (CSV)")
                    ->check(Valued("--runs"))
                    ->type_name("FILE"),
                "нужен --runs FILE: файл прогонов");
    std::string ids;
    for (const auto& id : BuiltInProfileIds())
      ids += (ids.empty() ? "" : ", ") + id;
    d.Mandatory(app.add_option("--profile", b.profile,
                               "класс точности: " + ids + " или раздел profiles.ini")
                    ->check(Valued("--profile"))
                    ->type_name("ID"),
                "нужен --profile ID: класс точности");
    app.add_option("--q1", b.q1, "R 49: Q1, м³/ч (вместе с --q2)")->type_name("Q");
    app.add_option("--q2", b.q2, "R 49: Q2, м³/ч")->type_name("Q");
    app.add_option("--q3", b.q3, "R 49: Q3, м³/ч (вместе с --ratio, Q2 = 1,6·Q3/R)")
        ->type_name("Q");
    app.add_option("--ratio", b.ratio, "R 49: R = Q3/Q1")->type_name("R");
    app.add_option("--qp", b.qp, "EN 1434: постоянный расход qp, м³/ч")->type_name("Q");
    app.add_option("--repeatability", b.repeatability,
                   "предел повторяемости в % (по умолчанию из профиля, обычно 0,05)")
        ->type_name("PCT");
    app.add_flag("--sample", b.sample,
                 "показание каждого прогона: средний текущий расход G прибора за его время");
    app.add_flag("--no-wait", b.noWait, "с --sample: не ждать Enter перед прогоном");
    app.add_option("--true-flow", b.trueFlows, "с --demo: истинный расход канала, CH=Q (м³/ч)")
        ->type_name("CH=Q");
    app.add_option("--error-curve", b.errorCurves,
                   "с --demo: кривая погрешности канала в %, CH=q1:e1,q2:e2,...")
        ->type_name("CH=CURVE");
    d.App().add_flag("--json", o.json, "один объект JSON вместо таблицы");
    AddLineOptions(d, o, Speeds::Meter);
    AddMeterOptions(d, o);
  }
  std::string Description() const override {
    return "Прогоны на стенде: расход, эталон и показание прибора по каждому прогону. "
           "Коэффициент прибора MF = эталон / показание, по точке — среднее; повторяемость = "
           "(MF max − MF min) / MF среднее; погрешность = (показание − эталон) / эталон · 100 %. "
           "Точка годна, когда |погрешность| не больше допуска (МПП, а при неопределённости "
           "стенда больше 1/5 МПП — МПП − U) и повторяемость в пределе.\n\n"
           "Файл прогонок: строка заголовка, затем канал, номинальный расход, эталон, "
           "показание, длительность в с, [неопределённость стенда в %]; ',' или ';' между "
           "ячейками, с ';' — десятичная запятая. С --sample столбца показания нет: его даёт "
           "прибор, перед каждым прогоном программа просит установить расход и нажать Enter.\n\n"
           "Свои классы — в profiles.ini рядом с firmware.ini: раздел [ID], строки "
           "Name=название, Repeatability=0.05, Limit1=0..2:5 (±5 % при 0 ≤ q < 2), "
           "Limit2=2..*:2 (±2 % при q ≥ 2).\n\n"
           "Без --sample прибор не нужен. В прибор ничего не записывается.\n";
  }
  std::string Statuses() const override {
    return "Коды завершения: 0 прибор годен, 1 не годен, 2 ошибка командной строки или файла, "
           "3 порт не открывается, 4 прибор не опознан.\n";
  }
  void Check(CliOptions& o) const override {
    (void)Flows(o.bench);
    if (!o.bench.sample && o.bench.noWait) throw Refusal{"--no-wait нужен только с --sample"};
    const bool sim = !o.bench.trueFlows.empty() || !o.bench.errorCurves.empty();
    if (sim && !o.demo)
      throw Refusal{"--true-flow и --error-curve задают виртуальный прибор: нужен --demo"};
  }

 protected:
  int RunOnLine(const CliOptions& o, Settings& settings, MeterLine& line) const override {
    const ProfileResult profile = FindProfile(o.bench.profile, Flows(o.bench), ProfilesIniPath());
    if (!profile.Ok()) return Fail(profile.error);
    std::string why;
    const auto text = ReadRegularFile(o.bench.runs, kMaxRunsText, why);
    if (!text) return Fail(o.bench.runs + ": " + why);
    const RunsParse runs =
        ParseRuns(*text, o.bench.sample ? RunsLayout::Sample : RunsLayout::Evaluate);
    if (!runs.Ok()) return Fail(o.bench.runs + ": " + runs.error);
    if (line.demo) {
      const std::string error = metersim::ApplyTrueFlowOptions(
          *line.demo->Meter(), o.bench.trueFlows, o.bench.errorCurves);
      if (!error.empty()) return Fail(error);
    }
    profile_ = profile.profile;
    runs_ = runs.runs;
    if (!o.bench.sample) return Report(o);
    CatchInterrupt();
    return ConnectAndRun(o, settings, line);
  }
  int RunWithMeter(const CliOptions& o, Settings&, MeterLine&, Meter& meter) const override {
    std::cerr << meter.Id().model << " " << meter.Id().serial << "\n";
    for (BenchRun& run : runs_) {
      std::cerr << "Канал " << unsigned{run.channel} << ", расход " << run.nominalFlow << " м³/ч, "
                << run.durationS << " с";
      if (!o.bench.noWait) {
        std::cerr << ": установите расход и нажмите Enter" << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer)) return Fail("ввод закрыт, прогоны не выполнены");
      }
      if (!SampleRun(meter, run)) return Fail("прибор не дал текущего расхода, или остановлено");
      std::cerr << " — отсчётов: " << run.samples << ", среднее G = " << run.indicated << "\n";
    }
    return Report(o);
  }

 private:
  static int Fail(const std::string& message) {
    std::cerr << "Ошибка: " << message << "\n";
    return Code(ExitStatus::Usage);
  }
  int Report(const CliOptions& o) const {
    const BenchResult result = EvaluateRuns(runs_, profile_);
    std::cout << (o.json ? BenchResultJson(result) + "\n" : BenchResultText(result)) << std::flush;
    return Code(result.pass ? ExitStatus::Ok : ExitStatus::Failed);
  }
  // One command runs once a process: what RunOnLine read, RunWithMeter uses.
  mutable BenchProfile profile_;
  mutable std::vector<BenchRun> runs_;
};

}  // namespace

const Command& CalibrateCommand() {
  static const Calibrate command;
  return command;
}
