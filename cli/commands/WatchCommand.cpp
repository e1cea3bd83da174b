// watch: the present flow G of each channel, sampled until stopped.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "CommandTable.h"
#include "MeterCommand.h"
#include "app/core/ops/LiveValues.h"
#include "app/core/values/ValueText.h"
#include "cli/options/LineOptions.h"
#include "cli/options/MeterOptions.h"
#include "cli/options/Validators.h"
#include "cli/output/Console.h"
#include "cli/output/ExitStatus.h"
#include "comm/LumClock.h"

namespace {

// The shortest time between two samples.
constexpr unsigned kMinWatchIntervalMs = 100;

// "09:22:24.123  +2.000 s  G1 = 12.5  G2 = нет ответа".
std::string WatchLine(const LiveSample& s) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "+%llu.%03u s",
                static_cast<unsigned long long>(s.ms / 1000), static_cast<unsigned>(s.ms % 1000));
  const std::string time = LiveLocalTime(s);
  std::string line = (time.size() > 11 ? time.substr(11) : time) + "  " + seconds;
  for (size_t ch = 0; ch < s.channels && ch < 2; ++ch)
    line += "  G" + std::to_string(ch + 1) + " = " +
            (s.ok[ch] ? FloatText(s.value[ch]) : std::string("нет ответа"));
  return line + "\n";
}

// Waits until the computer's clock reaches dueMs or Ctrl+C is pressed; false
// on Ctrl+C.
bool WaitUntil(uint64_t dueMs) {
  while (!Interrupted()) {
    const uint64_t now = lum::NowMs();
    if (now >= dueMs) return true;
    lum::SleepMs(static_cast<uint32_t>(std::min<uint64_t>(dueMs - now, 20)));
  }
  return false;
}

class Watch final : public MeterCommand {
 public:
  Watch()
      : MeterCommand(CliCommand::Watch, "watch",
                     "показывать текущий расход прибора по мере изменения") {}

  void Declare(Declaration& d, CliOptions& o) const override {
    CLI::App& app = d.App();
    DecimalOption(
        app.add_option("--interval", o.watch.intervalMs,
                       "время между двумя отсчётами в мс (по умолчанию 1000, не меньше 100)"),
        DecimalIn(kMinWatchIntervalMs, 999999999,
                  [](const std::string& ms) {
                    return "интервал " + ms + ": ожидается число мс не меньше " +
                           std::to_string(kMinWatchIntervalMs);
                  }))
        ->type_name("MS");
    DecimalOption(
        app.add_option_function<unsigned>(
            "--count", [&o](unsigned n) { o.watch.count = n; }, "остановиться после N отсчётов"),
        DecimalIn(
            1, 999999999,
            [](const std::string& n) { return "число отсчётов " + n + ": ожидается целое от 1"; }))
        ->type_name("N");
    app.add_flag("--csv", o.watch.csv,
                 "строка заголовка, затем time_ms,local_time,G1,G2 на каждый отсчёт; "
                 "значение, которого прибор не дал, остаётся пустой ячейкой (UTF-8 с меткой "
                 "порядка байтов)");
    app.add_flag("--csv-excel", o.watch.csvExcel,
                 "как --csv, но для таблицы с русскими настройками: ';' между ячейками и "
                 "десятичная запятая");
    AddLineOptions(d, o, Speeds::Meter);
    AddMeterOptions(d, o);
  }
  std::string Description() const override {
    return "Опознаёт прибор, как при чтении, затем каждые MS миллисекунд (по умолчанию "
           "1000, не меньше 100) запрашивает текущий расход G каждого канала и выводит строку "
           "на отсчёт, пока не набрано N отсчётов или Ctrl+C не остановит. В прибор ничего не "
           "записывается.\n";
  }
  std::string Statuses() const override {
    return "Коды завершения: 0 остановлено или набрано N отсчётов, 2 ошибка командной "
           "строки, 3 порт не открывается, 4 прибор не опознан.\n";
  }

 protected:
  int RunOnLine(const CliOptions& o, Settings& settings, MeterLine& line) const override {
    CatchInterrupt();
    return ConnectAndRun(o, settings, line);
  }
  int RunWithMeter(const CliOptions& o, Settings&, MeterLine&, Meter& meter) const override {
    std::cerr << meter.Id().model << ", каналов: " << static_cast<unsigned>(meter.Channels())
              << "; остановка: Ctrl+C.\n";
    const bool csv = o.watch.csv || o.watch.csvExcel;
    const CsvDialect dialect = o.watch.csvExcel ? CsvDialect::RussianExcel : CsvDialect::Plain;
    if (csv) std::cout << LiveCsvHeader(dialect) << std::flush;
    // Samples fall due at fixed times from the first, so that a slow reply
    // does not shift every later one; the times a silent meter's time-outs
    // overran are skipped, not made up in a burst.
    const uint64_t interval = o.watch.intervalMs;
    const uint64_t start = lum::NowMs();
    uint64_t due = start;
    for (uint64_t n = 0; !o.watch.count || n < *o.watch.count; ++n) {
      if (!WaitUntil(due)) break;
      const LiveSample sample = PollPresent(meter, start);
      std::cout << (csv ? LiveCsvRow(sample, dialect) : WatchLine(sample)) << std::flush;
      due += interval;
      if (const uint64_t now = lum::NowMs(); due < now)
        due += ((now - due) / interval + 1) * interval;
    }
    return Code(ExitStatus::Ok);
  }
};

}  // namespace

const Command& WatchCommand() {
  static const Watch command;
  return command;
}
