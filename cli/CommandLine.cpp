#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include "cli/commands/CommandTable.h"
#include "cli/options/ParseFailure.h"
#include "cli/output/HelpText.h"

namespace {

// The command called name; of two called so, the one nested under it as next
// ("report verify") when next names it, else the one not nested.
const Command* Named(const std::string& name, const std::string& next = "") {
  const Command* found = nullptr;
  for (const Command* c : CommandTable()) {
    if (name != c->Name()) continue;
    if (c->UsageName() == name + " " + next) return c;
    if (!found || c->UsageName() == name) found = c;
  }
  return found;
}

// "read, snapshot, ... или report".
std::string CommandNames() {
  std::string list;
  const auto table = CommandTable();
  for (size_t i = 0; i < table.size(); ++i)
    list += (i == 0 ? "" : i + 1 == table.size() ? " или " : ", ") + std::string(table[i]->Name());
  return list;
}

// The parser of one command: its CLI11 subcommand with the options it
// declared, bound to o.
class Grammar {
 public:
  Grammar(const Command& command, CliOptions& o) : declaration_(Sub(command)) {
    command.Declare(declaration_, o);
    for (CLI::App* a : {sub_, &declaration_.App()})
      if (!a->get_option_no_throw("--help")) a->add_flag("-h,--help", help_)->group("");
  }
  CLI::App& App() { return app_; }
  const Declaration& Declared() const { return declaration_; }
  bool Help() const { return help_; }

 private:
  CLI::App& Sub(const Command& command) {
    // "/tmp/x.json" is a file, not a Windows-style option "/tmp", on Windows
    // too; the subcommand takes this over from the app.
    app_.allow_windows_style_options(false);
    app_.set_help_flag();
    app_.require_subcommand(1);
    sub_ = app_.add_subcommand(command.Name());
    return *sub_;
  }

  CLI::App app_{"calibrate-cli"};
  CLI::App* sub_ = nullptr;
  Declaration declaration_;
  bool help_ = false;
};

}  // namespace

std::optional<CliOptions> ParseCli(const std::vector<std::string>& args, std::string& error) {
  CliOptions o;
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    o.command = CliCommand::Help;
    if (args.size() > 1) o.helpTopic = args[1];
    if (args.size() > 2) o.helpTopic += " " + args[2];
    return o;
  }
  if (args.size() == 1 && args[0] == "--version") {
    o.command = CliCommand::Version;
    return o;
  }
  const Command* command = Named(args[0], args.size() > 1 ? args[1] : "");
  if (!command) {
    error = "неизвестная команда '" + args[0] + "' (ожидается " + CommandNames() + ")";
    return std::nullopt;
  }
  Grammar grammar(*command, o);
  // CLI11 takes its arguments last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    grammar.App().parse(reversed);
    if (grammar.Help()) {
      o.command = CliCommand::Help;
      o.helpTopic = command->UsageName();
      return o;
    }
    grammar.Declared().Check();
    command->Check(o);
  } catch (const Refusal& r) {
    error = r.reason;
    return std::nullopt;
  } catch (const CLI::ParseError& e) {
    const CLI::App* nested = grammar.Declared().Nested();
    error = nested && (args.size() < 2 || args[1] != nested->get_name())
                ? grammar.Declared().NestReason()
                : ParseFailureText(grammar.App(), e, args);
    return std::nullopt;
  }
  o.command = command->Id();
  return o;
}

std::string CliHelp(const std::string& name) {
  const size_t space = name.find(' ');
  if (const Command* command =
          Named(name.substr(0, space), space == std::string::npos ? "" : name.substr(space + 1))) {
    CliOptions unused;
    CLI::App app;
    app.set_help_flag();
    Declaration declaration(app);
    command->Declare(declaration, unused);
    return CommandHelp(command->UsageName(), declaration, command->Description(),
                       command->Statuses());
  }
  std::vector<std::pair<std::string, std::string>> commands;
  for (const Command* c : CommandTable())
    commands.push_back({c->Name(), c->Summary()});
  return OverviewHelp(commands);
}
