// The writing commands: write, reset, seal, clock and restore. Each runs the
// guarded write of the core with the command line's confirmation
// (--expect-serial and --yes; without them a dry run, nothing sent).
#include <filesystem>
#include <iostream>

#include "CommandTable.h"
#include "JournalEvents.h"
#include "MeterCommand.h"
#include "ReadOptions.h"
#include "app/core/ops/GuardedWrite.h"
#include "app/core/settings/InspectorMode.h"
#include "app/core/values/WriteImage.h"
#include "cli/options/Validators.h"
#include "cli/options/WriteOptions.h"
#include "cli/output/Console.h"
#include "cli/output/ExitStatus.h"
#include "cli/output/WriteOutput.h"

namespace {

// The command line's confirmation, with the reason of --reason as the
// engineer's word on why.
class ReasonedWriteView final : public CliWriteView {
 public:
  explicit ReasonedWriteView(const CliOptions& o)
      : CliWriteView(o.expectSerial, o.yes, o.acceptWarnings, o.json), reason_(o.reason) {}
  std::string ChangeReason() const override { return reason_; }

 private:
  std::string reason_;
};

// What the journal lacks, in the words of the command line: how to give it.
std::vector<std::string> GapTexts(const WriteRecordGap& gap) {
  std::vector<std::string> texts;
  if (gap.engineer)
    texts.push_back(
        "журнал ведётся, а инженер не указан: задайте --engineer ИМЯ или [Journal] Engineer в "
        "файле настроек");
  if (gap.reason)
    texts.push_back(
        "нужна причина изменения: --reason ТЕКСТ (в файле настроек [Journal] "
        "RequireReason=1)");
  return texts;
}

// A write the journal could not file as it must is refused before the port
// is opened; a dry run goes on and says what its write would lack. True when
// the command may go on.
bool JournalAllows(const CliOptions& o, const JournalWriteRecorder& recorder) {
  const WriteRecordGap gap = MissingForWrite(recorder.Journal(), o.reason);
  if (!gap.Any()) return true;
  const bool writes = o.yes && o.expectSerial;
  for (const std::string& text : GapTexts(gap))
    std::cerr << "calibrate-cli: "
              << (writes ? "запись отклонена, ничего не отправлено: "
                         : "пробный запуск; запись была бы отклонена: ")
              << text << "\n";
  return !writes;
}

class Writing : public MeterCommand {
 public:
  Writing(CliCommand id, const char* name, const char* summary, WriteKind kind)
      : MeterCommand(id, name, summary), kind_(kind) {}

  // The command's own options first: they are what the usage line is about.
  void Declare(Declaration& d, CliOptions& o) const final {
    DeclareOwn(d, o);
    DeclareReadOptions(d, o, kWriteEvent);
    AddConfirmOptions(d, o);
  }
  std::string Description() const final {
    return "Изменяет прибор. Сначала читает то, что изменится, и показывает старое и новое "
           "значение каждого пункта. Без --expect-serial и --yes ничего не отправляется "
           "(пробный запуск). С ними, если серийный номер совпал, сохраняет прочитанное как "
           "образ до записи (в DIR, по умолчанию before-images рядом с файлом настроек; образ "
           "демонстрации называется ...-demo.json), затем записывает каждый пункт и читает его "
           "обратно. Подтверждение с предупреждениями (изменение больше [Service] WarnChange "
           "процентов старого значения, по умолчанию 5; K0 или Ku вне обычных для модели "
           "пределов) отклоняется, если не дан --accept-warnings. Значения задаются такими, "
           "какими их хранит прибор, а не такими, какими их показывает окно. Когда ведётся "
           "журнал, запись в прибор выполняется только от имени инженера (--engineer или "
           "[Journal] Engineer), а при [Journal] RequireReason=1 и с причиной (--reason); "
           "причина попадает в журнал вместе с записью. В режиме проверки (--inspector, "
           "[Service] Writes=0 или файл inspector, который администратор положил рядом с "
           "программой или в /etc/calibrate) отказывает, не открывая порт.\n";
  }
  std::string Statuses() const final {
    return "Коды завершения: 0 записано и проверено, или пробный запуск; 1 пункт не прошёл "
           "проверку (запись остановлена на первой неудаче; восстановите из образа до "
           "записи); 2 ошибка командной строки; 3 порт не открывается; 4 прибор не опознан; "
           "5 отказ, ничего не записано (значение, которое прибор не может хранить, не тот "
           "серийный номер, предупреждения не приняты, ответил не тот прибор, что был "
           "прочитан, образ до записи не сохранён, образ другого прибора или неподходящий "
           "образ, журнал не может записать начало записи, для журнала не указан инженер или "
           "нужная причина, режим проверки); 6 остановлено по Ctrl+C, SIGTERM "
           "или SIGHUP: начатый пункт доведён до конца, остальные не отправлены, итог записан "
           "в журнал.\n";
  }

 protected:
  virtual void DeclareOwn(Declaration& d, CliOptions& o) const = 0;
  // What this command writes, on r; false with the reason in error.
  virtual bool Fill(const CliOptions& o, WriteRequest& r, std::string& error) const = 0;

  // The guarded write connects by itself once the request passed the checks
  // that need no meter, so that a refused request never opens the port.
  int RunOnLine(const CliOptions& o, Settings& settings, MeterLine& line) const final {
    // An inspector's run never writes, nor does it read for a dry run.
    if (const InspectorMode mode = FindInspectorMode(o.inspector, settings); mode.On()) {
      std::cerr << "calibrate-cli: запись отклонена, ничего не отправлено: " << mode.Reason()
                << "\n";
      return Code(ExitStatus::Refused);
    }
    WriteRequest request;
    request.kind = kind_;
    const std::string dir = std::filesystem::path(settings.Path()).parent_path().string();
    request.saveDir = o.saveDir ? *o.saveDir : (dir.empty() ? "." : dir) + "/before-images";
    request.demo = o.demo.has_value();
    std::string error;
    if (!Fill(o, request, error)) {
      std::cerr << "calibrate-cli: " << error << "\n";
      return Code(ExitStatus::Refused);
    }
    // A write stopped half-way must still finish its item and be recorded.
    CatchInterrupt();
    request.stop = [] { return Interrupted(); };
    request.warnShare = settings.WarnChangeShare();
    const JournalPlace place{line.spec.name, static_cast<int>(line.spec.baud), line.spec.address};
    JournalWriteRecorder recorder = WriteRecorderOf(o, settings, place);
    if (!JournalAllows(o, recorder)) return Code(ExitStatus::Refused);
    ReasonedWriteView view(o);
    const WriteOutcome outcome =
        RunGuardedWrite(line.spec, line.catalogue, request, view, line.trace, &recorder);
    PrintWriteOutcome(outcome, kind_, o.json);
    std::cout << std::flush;
    JournalTheWrite(recorder, kind_, outcome);
    return WriteExitCode(outcome.status);
  }

 private:
  WriteKind kind_;
};

class Write final : public Writing {
 public:
  Write()
      : Writing(CliCommand::Write, "write",
                "записать коэффициенты (а также: reset, seal, clock, restore)",
                WriteKind::Coefficients) {}

 protected:
  void DeclareOwn(Declaration& d, CliOptions& o) const override {
    CLI::App& app = d.App();
    static const std::string kNoChannel = "write: нужен --channel 1 или 2";
    const CLI::Option* channel =
        DecimalOption(app.add_option("--channel", o.channel, "канал, 1 или 2"),
                      DecimalIn(1, 2, [](const std::string&) { return kNoChannel; }))
            ->type_name("N");
    d.Mandatory(channel, kNoChannel);
    for (auto [name, index, about] : {std::tuple{"--k0", 0u, "K0, хранимое значение"},
                                      std::tuple{"--ku", 1u, "Ku, хранимое значение"}})
      app.add_option_function<float>(
             name,
             // A copy: clang 14 cannot capture a structured binding.
             [&o, i = index](float v) {
               o.coefs.push_back({false, 0, i, v});
             },
             about)
          ->type_name("X")
          ->check(Valued(name))
          ->check(FiniteValue(name));
    for (auto [name, obr, about] :
         {std::tuple{"--k", false, "K с индексом I (0..9); можно повторять"},
          std::tuple{"--obr", true, "Obr с индексом I (0..9); можно повторять"}})
      app.add_option_function<std::vector<std::string>>(
             name,
             [&o, isObr = obr](const std::vector<std::string>& points) {
               for (const std::string& p : points) {
                 const IndexedValue v = *ParseIndexValue(p);  // checked by IndexValue
                 o.coefs.push_back({isObr, 0, v.index, v.value});
               }
             },
             about)
          ->type_name("I=X")
          ->check(Valued(name))
          ->check(IndexValue(name));
  }
  void Check(CliOptions& o) const override {
    if (o.coefs.empty()) throw Refusal{"write: нужен хотя бы один из --k0, --ku, --k, --obr"};
    for (CliCoef& c : o.coefs)
      c.channel = o.channel;
  }
  bool Fill(const CliOptions& o, WriteRequest& r, std::string&) const override {
    for (const CliCoef& c : o.coefs)
      r.coefficients.push_back(CoefTarget(c.obr ? CoefList::Obr : CoefList::K,
                                          static_cast<uint8_t>(c.channel),
                                          static_cast<uint8_t>(c.index), c.value));
    return true;
  }
};

class Reset final : public Writing {
 public:
  Reset()
      : Writing(CliCommand::Reset, "reset", "записать начальные значения модели",
                WriteKind::Reset) {}

 protected:
  void DeclareOwn(Declaration&, CliOptions&) const override {}
  bool Fill(const CliOptions&, WriteRequest&, std::string&) const override { return true; }
};

class Seal final : public Writing {
 public:
  Seal()
      : Writing(CliCommand::Seal, "seal", "записать новую запись о калибровке с текстом пломбы",
                WriteKind::Seal) {}

 protected:
  void DeclareOwn(Declaration& d, CliOptions& o) const override {
    const CLI::Option* text = d.App()
                                  .add_option_function<std::string>(
                                      "--text", [&o](const std::string& t) { o.sealText = t; },
                                      "текст пломбы (8 символов)")
                                  ->type_name("TEXT")
                                  ->check(Valued("--text"));
    d.Mandatory(text, "seal: нужен --text TEXT");
  }
  bool Fill(const CliOptions& o, WriteRequest& r, std::string&) const override {
    r.sealText = o.sealText.value_or("");
    return true;
  }
};

class Clock final : public Writing {
 public:
  Clock()
      : Writing(CliCommand::Clock, "clock", "установить часы прибора по часам компьютера",
                WriteKind::Clock) {}

 protected:
  void DeclareOwn(Declaration& d, CliOptions& o) const override {
    d.Mandatory(d.App().add_flag("--set", o.clockSet, "установить часы по времени компьютера"),
                "clock: нужен --set");
  }
  bool Fill(const CliOptions&, WriteRequest&, std::string&) const override { return true; }
};

class Restore final : public Writing {
 public:
  Restore()
      : Writing(CliCommand::Restore, "restore", "вернуть в прибор образ до записи или снимок",
                WriteKind::Restore) {}

 protected:
  void DeclareOwn(Declaration& d, CliOptions& o) const override {
    d.Mandatory(d.App().add_option("FILE", o.imageFile,
                                   "образ до записи или файл снимка (snapshot --json)"),
                "restore: нужен файл FILE");
  }
  // A restore file that cannot be read is refused before the port is opened.
  bool Fill(const CliOptions& o, WriteRequest& r, std::string& error) const override {
    r.restore = LoadRestoreImage(o.imageFile, error);
    return r.restore.has_value();
  }
};

}  // namespace

const Command& WriteCommand() {
  static const Write command;
  return command;
}
const Command& ResetCommand() {
  static const Reset command;
  return command;
}
const Command& SealCommand() {
  static const Seal command;
  return command;
}
const Command& ClockCommand() {
  static const Clock command;
  return command;
}
const Command& RestoreCommand() {
  static const Restore command;
  return command;
}
