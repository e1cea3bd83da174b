// The options of one command as declared on its CLI11 subcommand, with what
// CLI11 cannot say itself: which options exclude each other and which must be
// given, each with the words of its refusal. The help and the checks after
// the parse are both made from it, so that they cannot disagree.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <utility>
#include <vector>

// A usage error with its one-line reason, in our own words.
struct Refusal {
  std::string reason;
};

class Declaration {
 public:
  explicit Declaration(CLI::App& app) : app_(&app) {}

  CLI::App& App() const { return *app_; }
  // The options go on a nested subcommand from now on ("journal verify");
  // without it the command is refused with reason.
  void Nest(CLI::App& app, std::string reason) {
    app_ = &app;
    nested_ = &app;
    nestReason_ = std::move(reason);
  }
  const CLI::App* Nested() const { return nested_; }
  const std::string& NestReason() const { return nestReason_; }

  // Given together, a and b are refused (with reason, else "a и b
  // несовместимы"); the usage shows "[a | b]".
  void Alternatives(const CLI::Option* a, const CLI::Option* b, std::string reason = "") {
    alternatives_.push_back({a, b, std::move(reason)});
  }
  // Not given, option is refused with reason; the usage shows it unbracketed.
  void Mandatory(const CLI::Option* option, std::string reason) {
    mandatory_.push_back({option, std::move(reason)});
  }

  // The other half of option's pair, or nullptr.
  const CLI::Option* AlternativeOf(const CLI::Option* option) const;
  bool IsMandatory(const CLI::Option* option) const;

  // Throws the Refusal of the first rule the parse broke.
  void Check() const;

 private:
  CLI::App* app_;
  CLI::App* nested_ = nullptr;
  std::string nestReason_;
  struct Pair {
    const CLI::Option* a;
    const CLI::Option* b;
    std::string reason;
  };
  std::vector<Pair> alternatives_;
  std::vector<std::pair<const CLI::Option*, std::string>> mandatory_;
};
