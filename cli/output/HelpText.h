// The help texts, made from the options as the commands declare them: the
// usage line, one line per option with its description, then the command's
// own paragraphs. Options in the group "" are taken but not shown. Every
// paragraph is filled to 80 columns, counted in characters: the texts are
// Russian, two bytes of UTF-8 per letter.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cli/options/Declaration.h"

// The label before the settings file's path, in the help and in ports.
inline constexpr const char* kSettingsFileLabel = "Файл настроек: ";

// usageName: "read", "journal verify". description and statuses: one
// paragraph per line, unfilled.
std::string CommandHelp(const std::string& usageName, const Declaration& d,
                        const std::string& description, const std::string& statuses);

// The overview: every command with its line, in the table's order.
std::string OverviewHelp(const std::vector<std::pair<std::string, std::string>>& commands);
