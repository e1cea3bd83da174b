#include "WriteOutput.h"

#include <iostream>

#include "ExitStatus.h"
#include "app/core/settings/IniFile.h"

void CliWriteView::ShowDifference(const std::vector<DiffRow>& rows) {
  // With --json stdout carries only the record.
  std::ostream& out = json_ ? std::cerr : std::cout;
  for (const DiffRow& r : rows)
    out << r.item << ": " << r.before << " -> " << r.after << "  (" << r.difference << ")\n";
}

WriteView::Answer CliWriteView::Confirm(const std::string& serial) {
  const Answer answer = SerialConfirmation(expect_, yes_, serial);
  if (answer == Answer::Refuse)
    std::cerr << "серийный номер прибора " << serial << ", а не " << *expect_ << "\n";
  if (answer == Answer::DryRun)
    std::cerr << "пробный запуск, ничего не записано; для записи: --expect-serial " << serial
              << " --yes\n";
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
