// The options of scan, which route takes too: the port, the speeds, the
// addresses and the protocols to try; and the scan's request made of them.
#pragma once

#include "MeterCommand.h"
#include "app/core/ops/BusScan.h"
#include "cli/options/CliOptions.h"
#include "cli/options/Declaration.h"

void DeclareScanOptions(Declaration& d, CliOptions& o);
// --from after --to: throws the Refusal.
void CheckScanOptions(const CliOptions& o);
// The scan sets speed and address for every probe itself. The virtual line
// does not tell speeds apart: the meters answer at every one the scan
// tries; a single demo meter sits at address 1.
LineChoice ScanLineChoice(const CliOptions& o);
// The request of this run on the line's port, with the settings' time-outs.
ScanRequest ScanRequestOf(const CliOptions& o, Settings& settings, const MeterLine& line);
