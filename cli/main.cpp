// calibrate-cli: the meter read of the window, and the service operations,
// for scripts and terminals.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/core/base/Version.h"
#include "app/core/settings/Settings.h"
#include "cli/CommandLine.h"
#include "cli/commands/CommandTable.h"
#include "cli/output/Console.h"
#include "cli/output/ExitStatus.h"
#include "cli/output/HelpText.h"

int main(int argc, char** argv) {
  const ConsoleText console;
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = ParseCli(args, error);
  if (!options) {
    std::cerr << "calibrate-cli: " << error << "\n";
    return Code(ExitStatus::Usage);
  }
  if (options->command == CliCommand::Help) {
    std::cout << CliHelp(options->helpTopic) << "\n"
              << kSettingsFileLabel << Settings::DefaultPath() << "\n";
    return Code(ExitStatus::Ok);
  }
  if (options->command == CliCommand::Version) {
    std::cout << "calibrate-cli " << kCalibrateVersion << "\n";
    return Code(ExitStatus::Ok);
  }
  // The settings of this run, read once: every command takes them from here.
  // A file named by --ini must be there: a name typed wrong would otherwise
  // run with the defaults (another port, no journal). The default file may
  // be missing until the window first saves it.
  Settings settings(options->ini ? *options->ini : Settings::DefaultPath());
  std::string why = settings.Ini().Unusable();
  if (std::error_code ec;
      why.empty() && options->ini && !std::filesystem::exists(*options->ini, ec))
    why = "не найден";
  if (!why.empty()) {
    std::cerr << "calibrate-cli: файл настроек " << settings.Path() << ": " << why << "\n";
    return Code(ExitStatus::Usage);
  }
  return FindCommand(options->command)->Run(*options, settings);
}
