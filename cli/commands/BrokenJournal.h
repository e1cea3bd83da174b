// A journal command (history, compare, report) reads a meter's journal only
// when its chain verifies, or with --force; then it says so before anything
// else, so that no edited value passes for the record.
#pragma once

#include <vector>

#include "app/journal/JournalReader.h"
#include "cli/options/CliOptions.h"

// The help's words for the rule, and its exit status.
inline constexpr const char* kBrokenJournalHelp =
    "Журнал прибора, цепочка которого не проходит проверку (journal verify), не "
    "используется: код завершения 5 и первая повреждённая строка; с --force команда "
    "продолжает, а первая строка вывода (с --json: стандартного потока ошибок) говорит, что "
    "журнал повреждён.\n";

// True when breaks is empty, or with --force after the first line of the
// output (standard error for --json) has named the first break. False,
// with the refusal on standard error, otherwise: the command returns
// BrokenJournalStatus().
bool MayUseJournal(const CliOptions& o, const std::vector<JournalBreak>& breaks);
int BrokenJournalStatus();
