// One command of calibrate-cli: its name, its line in the overview, the
// options it declares (its help is made from them) and how it runs. Each
// command lives in a file of its own; CommandTable lists them.
#pragma once

#include <string>

#include "app/core/settings/Settings.h"
#include "cli/options/CliOptions.h"
#include "cli/options/Declaration.h"

class Command {
 public:
  Command(CliCommand id, const char* name, const char* summary)
      : id_(id), name_(name), summary_(summary) {}
  virtual ~Command() = default;
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;

  CliCommand Id() const { return id_; }
  const char* Name() const { return name_; }
  const char* Summary() const { return summary_; }

  // Declares the command's options on d, bound to o.
  virtual void Declare(Declaration& d, CliOptions& o) const = 0;
  // What single options cannot check: throws a Refusal.
  virtual void Check(CliOptions& /*o*/) const {}
  // What the command does, for its help after the usage line.
  virtual std::string Description() const = 0;
  // The exit statuses, after the options ("" for none).
  virtual std::string Statuses() const { return ""; }
  // "journal verify" for a command nested one level down.
  virtual std::string UsageName() const { return name_; }

  // Runs it with the settings of this run; the exit status.
  virtual int Run(const CliOptions& o, Settings& settings) const = 0;

 private:
  CliCommand id_;
  const char* name_;
  const char* summary_;
};
