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
  Report() : Command(CliCommand::Report, "report", "сервисный отчёт о сеансе в HTML") {}

  void Declare(Declaration& d, CliOptions& o) const override {
    CLI::App& app = d.App();
    app.add_option_function<std::string>(
        "SERIAL", [&o](const std::string& serial) { o.operands = {serial}; },
        "серийный номер прибора");
    const CLI::Option* session =
        app.add_option_function<std::string>(
               "--session", [&o](const std::string& id) { o.session = id; },
               "сеанс события с этим номером")
            ->type_name("ID")
            ->check(Valued("--session"));
    d.Alternatives(session, app.add_flag("--last", o.lastVisit, "последний сеанс прибора"),
                   "report: --session и --last несовместимы");
    const CLI::Option* html = app.add_option_function<std::string>(
                                     "--html", [&o](const std::string& file) { o.htmlFile = file; },
                                     "страница, которую нужно записать")
                                  ->type_name("FILE")
                                  ->check(Valued("--html"));
    d.Mandatory(html, "report: нужен --html FILE");
    AddJournalFolder(d, o, false);
    AddForceOption(d, o);
  }
  std::string Description() const override {
    return "Записывает сервисный отчёт об одном сеансе прибора как страницу HTML: прибор, "
           "его ПО в сравнении с эталоном, коэффициенты и запись о калибровке до и после, "
           "каждую запись с её проверкой, инженера и строку для подписи. Сеанс — это события "
           "прибора за один запуск окна или за один день работы calibrate-cli. --session "
           "называет его по номеру любого из его событий; по умолчанию и с --last — последний "
           "сеанс прибора. SERIAL можно не указывать, если в журнале один прибор.\n";
  }
  std::string Statuses() const override {
    return "Коды завершения: 0 записано, 1 файл не записывается, 2 ошибка командной строки, "
           "4 нет такого прибора или сеанса, 5 см. ниже. С --force на каждой странице отчёта в "
           "заголовке стоит \"журнал повреждён: строка N\".\n" +
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
