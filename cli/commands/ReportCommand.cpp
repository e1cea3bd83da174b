// report: the service report of one session of a meter, as an HTML page.
#include <fstream>
#include <iostream>

#include "BrokenJournal.h"
#include "CommandTable.h"
#include "JournalEvents.h"
#include "JournalMeters.h"
#include "app/journal/JournalFile.h"
#include "app/journal/ServiceReport.h"
#include "cli/options/JournalOptions.h"
#include "cli/options/Validators.h"
#include "cli/output/ExitStatus.h"

namespace {

class Report final : public Command {
 public:
  Report() : Command(CliCommand::Report, "report", "the service report of a session, as HTML") {}

  void Declare(Declaration& d, CliOptions& o) const override {
    CLI::App& app = d.App();
    app.add_option_function<std::string>(
        "SERIAL", [&o](const std::string& serial) { o.operands = {serial}; },
        "the meter's serial number");
    const CLI::Option* session =
        app.add_option_function<std::string>(
               "--session", [&o](const std::string& id) { o.session = id; },
               "the session of the event with this id")
            ->type_name("ID")
            ->check(Valued("--session"));
    d.Alternatives(session, app.add_flag("--last", o.lastVisit, "the meter's last session"),
                   "report: --session and --last exclude each other");
    const CLI::Option* html =
        app.add_option_function<std::string>(
               "--html", [&o](const std::string& file) { o.htmlFile = file; }, "the page to write")
            ->type_name("FILE")
            ->check(Valued("--html"));
    d.Mandatory(html, "report: --html FILE is required");
    AddJournalFolder(d, o, false);
    AddForceOption(d, o);
  }
  std::string Description() const override {
    return "Writes the service report of one session of a meter as an HTML page (Russian):\n"
           "the meter, its firmware against the reference, the coefficients and calibration\n"
           "record as found and as left, every write with its verification, the engineer\n"
           "and a signature line. A session is the run of a meter's events of one run of\n"
           "the window, or of one day of calibrate-cli. --session names it by the id of any\n"
           "of its events; default and --last: the meter's last session. SERIAL may be\n"
           "left out when the journal holds one meter.\n";
  }
  std::string Statuses() const override {
    return "Exit status: 0 written, 1 the file cannot be written, 2 usage error, 4 no such\n"
           "meter or session, 5 see below. With --force every page of the report carries\n"
           "\"журнал повреждён: строка N\" in its heading.\n" +
           std::string(kBrokenJournalHelp);
  }

  int Run(const CliOptions& o, Settings& settings) const override {
    const std::string dir = JournalDir(o, settings);
    const std::string file = ChosenMeterFile(o, dir, false);
    if (file.empty()) return Code(ExitStatus::NotFound);
    const JournalFileContent content = ReadMeterJournal(dir, file);
    if (!content.ok) {
      std::cerr << "calibrate-cli: " << content.error << "\n";
      return Code(ExitStatus::NotFound);
    }
    if (!MayUseJournal(o, content.breaks)) return BrokenJournalStatus();
    const std::vector<JournalSession> sessions = JournalSessions(content);
    std::string error;
    const JournalSession* session = FindSession(sessions, o.session.value_or("last"), error);
    if (!session) {
      std::cerr << "calibrate-cli: " << error << "\n";
      return Code(ExitStatus::NotFound);
    }
    const ServiceReport report = MakeServiceReport(*session, &content);
    std::ofstream out(PathFromUtf8(*o.htmlFile), std::ios::binary | std::ios::trunc);
    out << report.html;
    out.flush();
    if (!out) {
      std::cerr << "calibrate-cli: не удалось записать " << *o.htmlFile << "\n";
      return Code(ExitStatus::Failed);
    }
    std::cout << "отчёт " << report.number << " (событий: " << session->records.size() << ") -> "
              << *o.htmlFile << "\n";
    return Code(ExitStatus::Ok);
  }
};

}  // namespace

const Command& ReportCommand() {
  static const Report command;
  return command;
}
