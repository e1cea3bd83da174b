// Which meter of the journal the journal commands mean.
#pragma once

#include <string>

#include "app/journal/JournalReader.h"
#include "cli/options/CliOptions.h"

// How ReadMeterJournal names a listed meter: by its serial number, which
// every file of it shares, or by its file when it has none.
std::string MeterKey(const JournalMeter& m);

// The meter whose serial number is serial (or whose file is named so); "".
std::string MeterFile(const JournalListing& listing, const std::string& serial);

// The meter's file: SERIAL given (the first operand), else the only meter of
// the journal (or, when newest is set, the meter of the journal's newest
// event). Empty, with the reason on standard error, when there is none.
std::string ChosenMeterFile(const CliOptions& o, const std::string& dir, bool newest);
