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
  AddDir(d.App(), o, "record the " + what + " in the service journal in DIR");
  d.App().add_flag("--no-journal", o.noJournal, "do not record it, though [Journal] Enabled=1");
}

void AddJournalFolder(Declaration& d, CliOptions& o, bool json) {
  if (json) d.App().add_flag("--json", o.json, "JSON instead of text");
  AddDir(d.App(), o,
         "the journal's folder (default: [Journal] Dir of the settings file, "
         "else the folder journal beside it)");
  AddIniOption(d, o);
}

void AddForceOption(Declaration& d, CliOptions& o) {
  d.App().add_flag("--force", o.force,
                   "go on though the meter's journal does not verify (the output says so)");
}
