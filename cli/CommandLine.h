// The command line of calibrate-cli: the commands of the table, each with the
// options it declares, parsed by CLI11. This interface is a contract with the
// scripts of service departments: keep it stable.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/options/CliOptions.h"

// Parses argv; on a usage error returns nullopt and sets error to a one-line
// reason.
std::optional<CliOptions> ParseCli(const std::vector<std::string>& args, std::string& error);

// The help text of a command ("" or an unknown name: the overview).
std::string CliHelp(const std::string& command);
