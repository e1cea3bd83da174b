// What every writing command adds to the read's options: the confirmation
// (--expect-serial and --yes; without them a dry run; --accept-warnings
// for a confirmation that warns), --save-dir and the reason for the journal
// (--reason).
#pragma once

#include "CliOptions.h"
#include "Declaration.h"

void AddConfirmOptions(Declaration& d, WriteOptions& o);
