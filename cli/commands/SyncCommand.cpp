// sync: the journal folder and the department's record on its server.
#include <iostream>

#include "CommandTable.h"
#include "DepartmentRun.h"
#include "cli/options/JournalOptions.h"
#include "cli/options/Validators.h"
#include "cli/output/ExitStatus.h"

namespace {

class Sync final : public Command {
 public:
  Sync() : Command(CliCommand::Sync, "sync", "обменяться событиями с журналом отдела") {}

  void Declare(Declaration& d, CliOptions& o) const override {
    CLI::App& app = d.App();
    DepartmentCliOptions& s = o.department;
    app.add_option("--database", s.database,
                   "сервер PostgreSQL, строка подключения libpq или URL (по умолчанию "
                   "[Department] Database); пароль — в ~/.pgpass, не здесь")
        ->type_name("URL")
        ->check(Valued("--database"));
    app.add_flag("--init", s.init,
                 "создать или обновить схему на сервере (для администратора) и выйти");
    const CLI::Option* all =
        app.add_flag("--all", s.all, "принять события всех приборов, видимых на сервере");
    const CLI::Option* serial =
        app.add_option("--serial", s.serial, "принять события только этого прибора")
            ->type_name("S")
            ->check(Valued("--serial"));
    d.Alternatives(all, serial);
    AddJournalFolder(d, o);
  }
  std::string Description() const override {
    return "Отправляет на сервер отдела события журнала, которых там нет, и принимает "
           "события приборов, которые обслуживало это рабочее место (или --all, или "
           "--serial S), в папку department журнала, чтобы история работала и без сети. "
           "События только добавляются; два обмена в любом порядке дают одно и то же. "
           "Прерванный обмен сохраняет сделанное; следующий доделает остальное. Участок "
           "рабочего места — [Department] Site в файле настроек.\n";
  }
  std::string Statuses() const override {
    return "  0  обмен завершён\n"
           "  1  обмен не завершён (сервер недоступен, событие не принято, нет схемы)\n";
  }
  int Run(const CliOptions& o, Settings& settings) const override {
#ifdef CALIBRATE_DEPARTMENT
    return RunSync(o, settings);
#else
    (void)o;
    (void)settings;
    return NoDepartmentStore();
#endif
  }
};

}  // namespace

#ifndef CALIBRATE_DEPARTMENT
int NoDepartmentStore() {
  std::cerr << "calibrate-cli: эта сборка без журнала отдела (собрана без libpqxx)\n";
  return Code(ExitStatus::Refused);
}
#endif

const Command& SyncCommand() {
  static const Sync command;
  return command;
}
