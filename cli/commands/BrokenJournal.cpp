#include "BrokenJournal.h"

#include <iostream>

#include "app/journal/JournalBreakText.h"
#include "cli/output/ExitStatus.h"

bool MayUseJournal(const CliOptions& o, const std::vector<JournalBreak>& breaks) {
  if (breaks.empty()) return true;
  const std::string text = JournalBreakText(breaks.front());
  if (!o.force) {
    std::cerr << "calibrate-cli: " << text
              << "; ничего не показано (--force: показать с этой пометкой)\n";
    return false;
  }
  (o.json ? std::cerr : std::cout) << "ВНИМАНИЕ: " << text << "; показано по --force\n";
  return true;
}

int BrokenJournalStatus() {
  return Code(ExitStatus::Refused);
}
