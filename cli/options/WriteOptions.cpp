#include "WriteOptions.h"

#include "Validators.h"

void AddConfirmOptions(Declaration& d, WriteOptions& o) {
  CLI::App& app = d.App();
  app.add_option_function<std::string>(
         "--expect-serial", [&o](const std::string& serial) { o.expectSerial = serial; },
         "серийный номер прибора: запись только при совпадении")
      ->type_name("S")
      ->check(Valued("--expect-serial"));
  app.add_flag("--yes", o.yes, "вместе с --expect-serial: записать (без --yes пробный запуск)");
  app.add_flag("--accept-warnings", o.acceptWarnings,
               "записать, хотя подтверждение предупреждает (большое изменение, необычные K0 "
               "или Ku)");
  app.add_option_function<std::string>(
         "--save-dir", [&o](const std::string& dir) { o.saveDir = dir; },
         "папка образов до записи (по умолчанию before-images рядом с файлом настроек)")
      ->type_name("DIR")
      ->check(Valued("--save-dir"));
  // An empty reason is taken as given: with [Journal] RequireReason=1 the
  // write is then refused for the want of one, as without the option.
  app.add_option("--reason", o.reason,
                 "причина изменения для журнала (при [Journal] RequireReason=1 без неё не "
                 "записывается)")
      ->type_name("TEXT")
      ->check(NotAnOption("--reason"));
}
