#include "JournalOptions.h"

#include "MeterOptions.h"
#include "Validators.h"

namespace {

CLI::Option* AddDir(CLI::App& app, JournalOptions& o, const std::string& description) {
  return app
      .add_option_function<std::string>(
          "--journal", [&o](const std::string& dir) { o.journalDir = dir; }, description)
      ->type_name("DIR")
      ->check(Valued("--journal"));
}

}  // namespace

void AddJournalRecording(Declaration& d, JournalOptions& o, const std::string& what) {
  AddDir(d.App(), o, "занести событие «" + what + "» в сервисный журнал в папке DIR");
  d.App().add_flag("--no-journal", o.noJournal,
                   "не записывать, даже если в файле настроек [Journal] Enabled=1");
  d.App()
      .add_option_function<std::string>(
          "--engineer", [&o](const std::string& name) { o.engineer = name; },
          "инженер, от чьего имени событие попадает в журнал (вместо [Journal] Engineer)")
      ->type_name("NAME")
      ->check(Valued("--engineer"));
}

void AddJournalFolder(Declaration& d, CliOptions& o, bool json) {
  if (json) d.App().add_flag("--json", o.json, "JSON вместо текста");
  AddDir(d.App(), o,
         "папка журнала (по умолчанию [Journal] Dir файла настроек, иначе папка "
         "journal рядом с ним)");
  AddIniOption(d, o);
}

void AddForceOption(Declaration& d, CliOptions& o) {
  d.App().add_flag(
      "--force", o.force,
      "продолжить, даже если журнал прибора не прошёл проверку (вывод скажет об этом)");
}
