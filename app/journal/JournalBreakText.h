// What the journal's readers (history, compare, the journal view, the report)
// say of a meter's journal whose chain does not verify: they show nothing from
// it unless asked to, and then never without this mark, since any line of it
// may hold a value edited by hand.
#pragma once

#include <string>
#include <vector>

#include "JournalReader.h"

// "журнал повреждён: строка 2": the mark on everything built from the journal.
std::string JournalBreakMark(const JournalBreak& b);

// The mark with the file and the fault in words: "журнал повреждён: строка 2
// (ZFK-36_sn360517.jsonl): строка изменена после записи".
std::string JournalBreakText(const JournalBreak& b);

// The mark of the first break of breaks; empty when there is none.
std::string FirstBreakMark(const std::vector<JournalBreak>& breaks);
