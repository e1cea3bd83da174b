// What the writing commands print: each item's old and new value and the
// confirmation's verdict (standard error when --json keeps standard output
// for the record), then the verification per item or the record as JSON;
// and the exit status of a finished write.
#pragma once

#include <optional>
#include <string>

#include "app/core/ops/GuardedWrite.h"

// The command line's confirmation: writes only with --expect-serial equal to
// the meter's serial number and --yes; without them a dry run; a different
// serial number refuses.
class CliWriteView : public WriteView {
 public:
  CliWriteView(std::optional<std::string> expectSerial, bool yes, bool json)
      : expect_(std::move(expectSerial)), yes_(yes), json_(json) {}
  void ShowDifference(const std::vector<DiffRow>& rows) override;
  Answer Confirm(const std::string& serial) override;
  void ShowMessage(const std::string& message) override;

 private:
  std::optional<std::string> expect_;
  bool yes_;
  bool json_;
};

int WriteExitCode(WriteStatus status);

void PrintWriteOutcome(const WriteOutcome& outcome, WriteKind kind, bool json);
