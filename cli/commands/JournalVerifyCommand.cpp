// journal verify: the chain of one journal file, or of every meter's file.
#include <iostream>

#include "CommandTable.h"
#include "DepartmentRun.h"
#include "JournalEvents.h"
#include "app/journal/JournalBreakText.h"
#include "app/journal/JournalFile.h"
#include "app/journal/JournalReader.h"
#include "cli/options/JournalOptions.h"
#include "cli/output/ExitStatus.h"

namespace {

class JournalVerify final : public Command {
 public:
  JournalVerify()
      : Command(CliCommand::JournalVerify, "journal", "journal verify: проверить цепочки журнала") {
  }

  std::string UsageName() const override { return "journal verify"; }
  void Declare(Declaration& d, CliOptions& o) const override {
    CLI::App* verify = d.App().add_subcommand("verify");
    d.Nest(*verify, "journal: ожидается 'journal verify [FILE|--all]'");
    const CLI::Option* file = verify->add_option_function<std::string>(
        "FILE", [&o](const std::string& f) { o.operands = {f}; }, "один файл журнала");
    d.Alternatives(file,
                   verify->add_flag("--all", o.verifyAll, "файлы всех приборов (по умолчанию)"));
    verify
        ->add_option_function<std::vector<std::string>>(
            "--database",
            [&o](const std::vector<std::string>& url) {
              o.department.useDatabase = true;
              if (!url.empty() && !url.front().empty()) o.department.database = url.front();
            },
            "проверить и события на сервере отдела (URL по умолчанию — [Department] Database)")
        ->expected(0, 1)
        ->type_name("[URL]");
    AddJournalFolder(d, o);
  }
  std::string Description() const override {
    return "Проверяет цепочку одного файла журнала или файлов всех приборов в папке. "
           "Называет первую повреждённую строку каждого файла; код завершения 1, если "
           "повреждён хоть один.\n";
  }

  int Run(const CliOptions& o, Settings& settings) const override {
    const int local = VerifyLocal(o, settings);
    if (!o.department.useDatabase) return local;
#ifdef CALIBRATE_DEPARTMENT
    const int server = VerifyDepartmentStore(o, settings);
#else
    const int server = NoDepartmentStore();
#endif
    return local != Code(ExitStatus::Ok) ? local : server;
  }

 private:
  static int VerifyLocal(const CliOptions& o, Settings& settings) {
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
        std::cout << JournalBreakText({v.file, v.problems.front()}) << "\n";
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
