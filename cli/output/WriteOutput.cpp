#include "WriteOutput.h"

#include <iostream>

#include "ExitStatus.h"
#include "app/core/settings/IniFile.h"

void PrintConfirmation(std::ostream& out, const Confirmation& confirmation) {
  for (const DiffRow& r : confirmation.rows)
    out << r.item << ": " << r.before << " -> " << r.after << "  (" << r.difference
        << (r.share.empty() ? "" : ", " + r.share) << ")\n";
  if (confirmation.unchanged > 0) out << confirmation.UnchangedText() << "\n";
  for (const std::string& w : confirmation.warnings)
    out << "ПРЕДУПРЕЖДЕНИЕ: " << w << "\n";
}

void CliWriteView::ShowDifference(const Confirmation& confirmation) {
  // With --json stdout carries only the record.
  PrintConfirmation(json_ ? std::cerr : std::cout, confirmation);
  warned_ = !confirmation.warnings.empty();
}

WriteView::Answer CliWriteView::Confirm(const std::string& serial) {
  const Answer answer = SerialConfirmation(expect_, yes_, serial);
  const char* accept = warned_ && !acceptWarnings_ ? " --accept-warnings" : "";
  if (answer == Answer::Refuse)
    std::cerr << "серийный номер прибора " << serial << ", а не " << *expect_ << "\n";
  if (answer == Answer::DryRun)
    std::cerr << "пробный запуск, ничего не записано; для записи: --expect-serial " << serial
              << " --yes" << accept << "\n";
  if (answer == Answer::Write && *accept)
    std::cerr << "подтверждение предупреждает: проверьте предупреждения и добавьте "
                 "--accept-warnings\n";
  return answer;
}

void CliWriteView::ShowMessage(const std::string& message) {
  std::cerr << message << "\n";
}

int WriteExitCode(WriteStatus status) {
  switch (status) {
    case WriteStatus::Verified:
    case WriteStatus::DryRun:
      return Code(ExitStatus::Ok);
    case WriteStatus::Failed:
      return Code(ExitStatus::Failed);
    case WriteStatus::PortError:
      return Code(ExitStatus::PortError);
    case WriteStatus::NotFound:
      return Code(ExitStatus::NotFound);
    case WriteStatus::Interrupted:
      return Code(ExitStatus::Interrupted);
    case WriteStatus::Refused:
      break;
  }
  return Code(ExitStatus::Refused);
}

void PrintWriteOutcome(const WriteOutcome& outcome, WriteKind kind, bool json) {
  if (json) {
    std::cout << DumpJson(outcome.Record(kind), 2) << "\n";
    return;
  }
  if (!outcome.imagePath.empty()) std::cout << "образ до записи: " << outcome.imagePath << "\n";
  for (size_t n = 0; n < outcome.verification.size(); ++n)
    std::cout << outcome.after.items[n].Name() << ": " << VerificationText(outcome.verification[n])
              << "\n";
}
