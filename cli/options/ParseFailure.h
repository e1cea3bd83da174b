// CLI11 words its parse errors in English as it throws them. The command
// line speaks Russian, so each kind of error the grammar can meet gets a
// sentence of our own, made from the arguments and the parse, never from
// CLI11's text.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

// The one-line reason for e, thrown by app parsing args (args[0] is the
// command).
std::string ParseFailureText(const CLI::App& app, const CLI::ParseError& e,
                             const std::vector<std::string>& args);
