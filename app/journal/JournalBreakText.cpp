#include "JournalBreakText.h"

#include "JournalFile.h"

namespace {

const char* FaultText(JournalFault fault) {
  switch (fault) {
    case JournalFault::Edited:
      return "строка изменена после записи";
    case JournalFault::Unlinked:
      return "перед ней удалена строка, или строки переставлены";
    case JournalFault::Unparsable:
      return "в строке нет события (она обрезана или испорчена)";
    case JournalFault::TornLastLine:
      return "последняя строка обрезана (программа прервана или диск переполнен)";
  }
  return "цепочка не сходится";
}

}  // namespace

std::string JournalBreakMark(const JournalBreak& b) {
  return "журнал повреждён: строка " + std::to_string(b.problem.line);
}

std::string JournalBreakText(const JournalBreak& b) {
  return JournalBreakMark(b) + " (" + Utf8(PathFromUtf8(b.file).filename()) +
         "): " + FaultText(b.problem.fault);
}

std::string FirstBreakMark(const std::vector<JournalBreak>& breaks) {
  return breaks.empty() ? std::string() : JournalBreakMark(breaks.front());
}
