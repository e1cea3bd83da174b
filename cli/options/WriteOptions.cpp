#include "WriteOptions.h"

#include "Validators.h"

void AddConfirmOptions(Declaration& d, WriteOptions& o) {
  CLI::App& app = d.App();
  app.add_option_function<std::string>(
         "--expect-serial", [&o](const std::string& serial) { o.expectSerial = serial; },
         "the meter's serial number: written only when it matches")
      ->type_name("S")
      ->check(Valued("--expect-serial"));
  app.add_flag("--yes", o.yes, "with --expect-serial: write (else a dry run)");
  app.add_flag("--accept-warnings", o.acceptWarnings,
               "write even though the confirmation warns (a large change,\nan unusual K0 or Ku)");
  app.add_option_function<std::string>(
         "--save-dir", [&o](const std::string& dir) { o.saveDir = dir; },
         "the before-image's folder (default: before-images beside\nthe settings file)")
      ->type_name("DIR")
      ->check(Valued("--save-dir"));
}
