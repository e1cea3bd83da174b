// The writing commands of calibrate-cli (write, reset, seal, clock, restore):
// the guarded write with the command line's confirmation, --expect-serial and
// --yes.
#pragma once

#include <string>

#include "CliOptions.h"
#include "app/core/GuardedWrite.h"

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

// The operation the options ask for, or a reason in error (a restore file
// that cannot be read).
std::optional<WriteRequest> WriteRequestOf(const CliOptions& o, const std::string& settingsPath,
                                           std::string& error);

// The exit status of a finished write.
int WriteExitCode(WriteStatus status);

// Prints the outcome: the verification per item, or with --json the record.
void PrintWriteOutcome(const WriteOutcome& outcome, WriteKind kind, bool json);
