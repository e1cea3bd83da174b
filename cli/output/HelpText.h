// The help texts, made from the options as the commands declare them: the
// usage line, one line per option with its description, then the command's
// own paragraphs. Options in the group "" are taken but not shown.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cli/options/Declaration.h"

// usageName: "read", "journal verify".
std::string CommandHelp(const std::string& usageName, const Declaration& d,
                        const std::string& description, const std::string& statuses);

// The overview: every command with its line, in the table's order.
std::string OverviewHelp(const std::vector<std::pair<std::string, std::string>>& commands);
