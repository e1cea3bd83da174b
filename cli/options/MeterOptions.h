// --addr, --ini, --demo, --demo-reset, --echo and --inspector: which meter on
// the line, the settings file of the run, and whether it may write.
#pragma once

#include "CliOptions.h"
#include "Declaration.h"

void AddIniOption(Declaration& d, MeterOptions& o);
// With echo false the line's echo is left to the settings (watch and read
// take --echo, scan does not).
void AddMeterOptions(Declaration& d, MeterOptions& o, bool address = true, bool echo = true);
// The meter's network address, 0..127 (scan's --from and --to too).
CLI::Validator AddressCheck();
