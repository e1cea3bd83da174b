// The journal's events in the engineer's words, one table for every reader of
// the journal: the window's journal tab, history and the report. A write
// event is named by its operation, since "write" alone does not say whether
// coefficients, the seal or the clock were written.
#pragma once

#include <string>

#include "JournalReader.h"

// "запись коэффициентов" for "write", "запись пломбы" for "seal", ...; an
// operation this table does not know is shown as recorded.
std::string OperationName(const std::string& operation);

// "чтение", "снимок", the operation of a write, "… (начало)" for a write's
// start; a kind this table does not know is shown as recorded.
std::string EventName(const JournalRecord& record);
