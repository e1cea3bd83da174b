// journal verify: the chain of one journal file, or of every meter's file.
#include <iostream>

#include "CommandTable.h"
#include "JournalEvents.h"
#include "app/journal/JournalFile.h"
#include "app/journal/JournalReader.h"
#include "cli/options/JournalOptions.h"
#include "cli/output/ExitStatus.h"

namespace {

class JournalVerify final : public Command {
 public:
  JournalVerify()
      : Command(CliCommand::JournalVerify, "journal",
                "journal verify: check the journal's chains") {}

  std::string UsageName() const override { return "journal verify"; }
  void Declare(Declaration& d, CliOptions& o) const override {
    CLI::App* verify = d.App().add_subcommand("verify");
    d.Nest(*verify, "journal: expected 'journal verify [FILE|--all]'");
    const CLI::Option* file = verify->add_option_function<std::string>(
        "FILE", [&o](const std::string& f) { o.operands = {f}; }, "one journal file");
    d.Alternatives(file, verify->add_flag("--all", o.verifyAll, "every meter's file (default)"));
    AddJournalFolder(d, o);
  }
  std::string Description() const override {
    return "Checks the chain of one journal file, or of every meter's file in the folder.\n"
           "Names the first broken line of each file; exit status 1 when any is broken.\n";
  }

  int Run(const CliOptions& o, Settings& settings) const override {
    std::vector<JournalVerdict> files;
    if (!o.operands.empty()) {
      files.push_back(VerifyJournalFile(o.operands[0]));
    } else {
      JournalFolderVerdict folder = VerifyJournal(JournalDir(o, settings));
      if (!folder.ok) {
        std::cerr << "calibrate-cli: " << folder.error << "\n";
        return Code(ExitStatus::Failed);
      }
      files = std::move(folder.files);
    }
    bool ok = true;
    nlohmann::json out = nlohmann::json::array();
    for (const JournalVerdict& v : files) {
      ok = ok && v.Ok();
      if (o.json) {
        out.push_back(ToJson(v));
      } else if (!v.readable) {
        std::cout << v.file << ": не читается: " << v.error << "\n";
      } else if (v.problems.empty()) {
        std::cout << v.file << ": в порядке, событий: " << v.events << "\n";
      } else {
        const JournalProblem& p = v.problems.front();
        std::cout << v.file << ": ЦЕПОЧКА НАРУШЕНА в строке " << p.line << " ("
                  << JournalFaultName(p.fault) << "): " << p.why << "\n";
      }
    }
    if (o.json) std::cout << out.dump() << "\n";
    return Code(ok ? ExitStatus::Ok : ExitStatus::Failed);
  }
};

}  // namespace

const Command& JournalVerifyCommand() {
  static const JournalVerify command;
  return command;
}
