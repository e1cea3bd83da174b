// The options of read, which snapshot, diagnose, watch and the writing
// commands take too; recorded names the event --journal records
// (kReadEvent, ...).
#pragma once

#include "cli/options/CliOptions.h"
#include "cli/options/Declaration.h"

void DeclareReadOptions(Declaration& d, CliOptions& o, const std::string& recorded);
