// What the writing commands print: each item's old and new value and the
// confirmation's verdict (standard error when --json keeps standard output
// for the record), then the verification per item or the record as JSON;
// and the exit status of a finished write.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "app/core/ops/GuardedWrite.h"

// The command line's confirmation: writes only with --expect-serial equal to
// the meter's serial number and --yes; without them a dry run; a different
// serial number refuses, and so does a confirmation with warnings unless
// --accept-warnings was given.
class CliWriteView : public WriteView {
 public:
  CliWriteView(std::optional<std::string> expectSerial, bool yes, bool acceptWarnings, bool json)
      : expect_(std::move(expectSerial)), yes_(yes), acceptWarnings_(acceptWarnings), json_(json) {}
  void ShowDifference(const Confirmation& confirmation) override;
  Answer Confirm(const std::string& serial) override;
  bool WarningsAccepted() const override { return acceptWarnings_; }
  void ShowMessage(const std::string& message) override;

 private:
  std::optional<std::string> expect_;
  bool yes_;
  bool acceptWarnings_;
  bool json_;
  bool warned_ = false;  // the confirmation shown had warnings
};

// The confirmation as the command line prints it: a line per item that
// changes ("K[3] к.1: 0.0025 -> 0.00251  (+0.00001, +0.4 %)"), the count of
// those that do not, and a line per warning.
void PrintConfirmation(std::ostream& out, const Confirmation& confirmation);

int WriteExitCode(WriteStatus status);

void PrintWriteOutcome(const WriteOutcome& outcome, WriteKind kind, bool json);
