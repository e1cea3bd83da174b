// report: the service report of one session of a meter, as an HTML page with
// its sidecar; report verify: whether a report is what its journal holds.
#include <fstream>
#include <iostream>

#include "BrokenJournal.h"
#include "CommandTable.h"
#include "JournalEvents.h"
#include "JournalMeters.h"
#include "app/journal/JournalFile.h"
#include "app/journal/ReportSeal.h"
#include "app/journal/ReportVerify.h"
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
           "сеанс прибора. SERIAL можно не указывать, если в журнале один прибор.\n"
           "Рядом с отчётом FILE ложатся его сведения, FILE.json: номер, прибор, события сеанса "
           "с их хешами, значения до и после, инженер, время составления и SHA-256 файла "
           "отчёта. Отчёт несёт SHA-256 сведений и QR-код с номером и этим хешем; проверка — "
           "calibrate-cli report verify FILE.\n";
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
    const ReportSeal seal = MakeReportSeal(*session);
    const ServiceReport report = MakeServiceReport(*session, &content, &seal);
    std::ofstream out(PathFromUtf8(*o.htmlFile), std::ios::binary | std::ios::trunc);
    out << report.html;
    out.close();
    std::string why = "не удалось записать " + *o.htmlFile;
    if (!out || !WriteReportSidecar(*o.htmlFile, seal, why)) {
      std::cerr << "calibrate-cli: " << why << "\n";
      return Code(ExitStatus::Failed);
    }
    std::cout << "отчёт " << report.number << " (событий: " << session->records.size() << ") -> "
              << *o.htmlFile << ", сведения -> " << ReportSidecarPath(*o.htmlFile) << "\n";
    return Code(ExitStatus::Ok);
  }
};

class ReportVerify final : public Command {
 public:
  ReportVerify()
      : Command(CliCommand::ReportVerify, "report",
                "report verify: проверить, подлинный ли отчёт") {}

  std::string UsageName() const override { return "report verify"; }
  void Declare(Declaration& d, CliOptions& o) const override {
    CLI::App* verify = d.App().add_subcommand("verify");
    d.Nest(*verify, "report: ожидается 'report verify FILE'");
    const CLI::Option* file = verify->add_option_function<std::string>(
        "FILE", [&o](const std::string& f) { o.operands = {f}; },
        "отчёт (HTML или PDF); его сведения — FILE.json рядом");
    d.Mandatory(file, "report verify: нужен FILE");
    AddJournalFolder(d, o);
  }
  std::string Description() const override {
    return "Проверяет отчёт по его сведениям (FILE.json) и журналу: SHA-256 файла отчёта — тот, "
           "что в сведениях; SHA-256 сведений — тот, с которым составлен отчёт; каждое событие, "
           "которое называют сведения, есть в журнале (своём или отдела) и не изменено; "
           "сведения, составленные заново по этим событиям, те же. Говорит «подлинный» или "
           "что не сходится.\n";
  }
  std::string Statuses() const override {
    return "Коды завершения: 0 подлинный, 1 не подлинный (или файлов нет), 2 ошибка командной "
           "строки.\n";
  }

  int Run(const CliOptions& o, Settings& settings) const override {
    const std::string& file = o.operands.at(0);
    const ReportVerdict v = VerifyReport(file, JournalDir(o, settings));
    if (o.json) {
      std::cout << nlohmann::json{{"file", file},
                                  {"number", v.number},
                                  {"events", v.events},
                                  {"authentic", v.Authentic()},
                                  {"differences", v.differences}}
                       .dump()
                << "\n";
    } else if (v.Authentic()) {
      std::cout << file << ": отчёт № " << v.number << " подлинный (событий журнала: " << v.events
                << ")\n";
    } else {
      std::cout << file << ": отчёт" << (v.number.empty() ? "" : " № " + v.number)
                << " НЕ подлинный:\n";
      for (const std::string& d : v.differences)
        std::cout << "  " << d << "\n";
    }
    return Code(v.Authentic() ? ExitStatus::Ok : ExitStatus::Failed);
  }
};

}  // namespace

const Command& ReportCommand() {
  static const Report command;
  return command;
}

const Command& ReportVerifyCommand() {
  static const ReportVerify command;
  return command;
}
