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
#include "app/core/values/WriteImage.h"
#include "cli/options/Validators.h"
#include "cli/options/WriteOptions.h"
#include "cli/output/Console.h"
#include "cli/output/ExitStatus.h"
#include "cli/output/WriteOutput.h"

namespace {

class Writing : public MeterCommand {
 public:
  Writing(CliCommand id, const char* name, const char* summary, WriteKind kind)
      : MeterCommand(id, name, summary), kind_(kind) {}

  // The command's own options first: they are what the usage line is about.
  void Declare(Declaration& d, CliOptions& o) const final {
    DeclareOwn(d, o);
    DeclareReadOptions(d, o, "write");
    AddConfirmOptions(d, o);
  }
  std::string Description() const final {
    return "Changes a meter. First reads what will change and saves it as a before-image\n"
           "(DIR, default: before-images beside the settings file), then shows each item's\n"
           "old and new value. Without --expect-serial and --yes nothing is sent (a dry run).\n"
           "With them, and the serial number matching, writes and reads every item back.\n"
           "A confirmation that warns (a change beyond [Service] WarnChange per cent of the\n"
           "old value, default 5; K0 or Ku outside the model's usual range) is refused\n"
           "unless --accept-warnings is given.\n"
           "Values are stored values as the meter keeps them, not the values shown.\n";
  }
  std::string Statuses() const final {
    return "Exit status: 0 written and verified, or a dry run; 1 an item did not verify (the\n"
           "sequence stopped at the first failed write; restore from the before-image); 2 usage\n"
           "error; 3 the port cannot be opened; 4 no meter recognised; 5 refused, nothing\n"
           "written (a value the meter cannot store, a wrong serial number, warnings not\n"
           "accepted, another meter answering than the one read, a before-image that cannot\n"
           "be saved, an image of another meter or one that does not fit, a journal that\n"
           "cannot record the write's start); 6 stopped by Ctrl+C, SIGTERM or SIGHUP: the item "
           "under way was finished,\n"
           "the rest not sent, the outcome journalled.\n";
  }

 protected:
  virtual void DeclareOwn(Declaration& d, CliOptions& o) const = 0;
  // What this command writes, on r; false with the reason in error.
  virtual bool Fill(const CliOptions& o, WriteRequest& r, std::string& error) const = 0;

  // The guarded write connects by itself once the request passed the checks
  // that need no meter, so that a refused request never opens the port.
  int RunOnLine(const CliOptions& o, Settings& settings, MeterLine& line) const final {
    WriteRequest request;
    request.kind = kind_;
    const std::string dir = std::filesystem::path(settings.Path()).parent_path().string();
    request.saveDir = o.saveDir ? *o.saveDir : (dir.empty() ? "." : dir) + "/before-images";
    std::string error;
    if (!Fill(o, request, error)) {
      std::cerr << "calibrate-cli: " << error << "\n";
      return Code(ExitStatus::Refused);
    }
    // A write stopped half-way must still finish its item and be recorded.
    CatchInterrupt();
    request.stop = [] { return Interrupted(); };
    request.warnShare = settings.WarnChangeShare();
    CliWriteView view(o.expectSerial, o.yes, o.acceptWarnings, o.json);
    const JournalPlace place{line.spec.name, static_cast<int>(line.spec.baud), line.spec.address};
    JournalWriteRecorder recorder = WriteRecorderOf(o, settings, place);
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
                "write coefficients (also: reset, seal, clock, restore)", WriteKind::Coefficients) {
  }

 protected:
  void DeclareOwn(Declaration& d, CliOptions& o) const override {
    CLI::App& app = d.App();
    const CLI::Option* channel =
        DecimalOption(
            app.add_option("--channel", o.channel, "the channel, 1 or 2"),
            DecimalIn(1, 2, [](const std::string&) { return "write needs --channel 1 or 2"; }))
            ->type_name("N");
    d.Mandatory(channel, "write needs --channel 1 or 2");
    for (auto [name, index, about] : {std::tuple{"--k0", 0u, "K0, the stored value"},
                                      std::tuple{"--ku", 1u, "Ku, the stored value"}})
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
         {std::tuple{"--k", false, "K of index I (0..9); again for more"},
          std::tuple{"--obr", true, "Obr of index I (0..9); again for more"}})
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
    if (o.coefs.empty()) throw Refusal{"write needs at least one of --k0, --ku, --k, --obr"};
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
      : Writing(CliCommand::Reset, "reset", "write the model's reset values", WriteKind::Reset) {}

 protected:
  void DeclareOwn(Declaration&, CliOptions&) const override {}
  bool Fill(const CliOptions&, WriteRequest&, std::string&) const override { return true; }
};

class Seal final : public Writing {
 public:
  Seal()
      : Writing(CliCommand::Seal, "seal", "write a fresh calibration record with a seal text",
                WriteKind::Seal) {}

 protected:
  void DeclareOwn(Declaration& d, CliOptions& o) const override {
    const CLI::Option* text = d.App()
                                  .add_option_function<std::string>(
                                      "--text", [&o](const std::string& t) { o.sealText = t; },
                                      "the seal text (8 characters)")
                                  ->type_name("TEXT")
                                  ->check(Valued("--text"));
    d.Mandatory(text, "seal needs --text TEXT");
  }
  bool Fill(const CliOptions& o, WriteRequest& r, std::string&) const override {
    r.sealText = o.sealText.value_or("");
    return true;
  }
};

class Clock final : public Writing {
 public:
  Clock()
      : Writing(CliCommand::Clock, "clock", "set a meter's clock to the computer's time",
                WriteKind::Clock) {}

 protected:
  void DeclareOwn(Declaration& d, CliOptions& o) const override {
    d.Mandatory(d.App().add_flag("--set", o.clockSet, "set the clock to the computer's time"),
                "clock needs --set");
  }
  bool Fill(const CliOptions&, WriteRequest&, std::string&) const override { return true; }
};

class Restore final : public Writing {
 public:
  Restore()
      : Writing(CliCommand::Restore, "restore", "write a before-image back to its meter",
                WriteKind::Restore) {}

 protected:
  void DeclareOwn(Declaration& d, CliOptions& o) const override {
    d.Mandatory(d.App().add_option("FILE", o.imageFile, "the before-image to write back"),
                "restore: file is required");
  }
  // A restore file that cannot be read is refused before the port is opened.
  bool Fill(const CliOptions& o, WriteRequest& r, std::string& error) const override {
    r.restore = LoadImage(o.imageFile, error);
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
