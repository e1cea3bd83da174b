#include "ParseFailure.h"

#include "Validators.h"

namespace {

// What CLI11 could not place: an option no command declares, or an operand
// beyond those the command takes.
std::string Unexpected(const CLI::App& app) {
  const std::vector<std::string> left = app.remaining(true);
  if (left.empty()) return "";
  const std::string& first = left.front();
  return (first.rfind('-', 0) == 0 ? "неизвестный параметр " : "лишний аргумент ") + first;
}

// " --json=abc": the first "--option=value" of args, where CLI11 meets
// values our validators do not see (a flag given one).
std::string WithValue(const std::vector<std::string>& args) {
  for (const std::string& a : args)
    if (a.rfind('-', 0) == 0 && a.find('=') != std::string::npos) return " " + a;
  return "";
}

}  // namespace

std::string ParseFailureText(const CLI::App& app, const CLI::ParseError& e,
                             const std::vector<std::string>& args) {
  std::string reason;
  if (dynamic_cast<const CLI::ExtrasError*>(&e)) reason = Unexpected(app);
  // Only the last argument can run out of values: the option it names.
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) && args.back().rfind('-', 0) == 0)
    reason = MissingValue(args.back());
  if (dynamic_cast<const CLI::ConversionError*>(&e) ||
      dynamic_cast<const CLI::ValidationError*>(&e))
    reason = "недопустимое значение параметра" + WithValue(args);
  if (reason.empty()) reason = "командная строка не разобрана";
  return args[0] + ": " + reason + " (calibrate-cli " + args[0] + " --help)";
}
