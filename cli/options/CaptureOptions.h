// --pcap FILE: the traffic of the run's line as a pcapng file for Wireshark,
// on every command that talks on a line.
#pragma once

#include "CliOptions.h"
#include "Declaration.h"

void AddCaptureOptions(Declaration& d, LineOptions& o);
