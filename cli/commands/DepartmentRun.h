// What sync and journal verify --database do with the department's server.
// Built only with libpqxx (DepartmentRun.cpp); without it the commands say
// that this build has no sync.
#pragma once

#include "app/core/settings/Settings.h"
#include "cli/options/CliOptions.h"

int RunSync(const CliOptions& o, Settings& settings);

// The server's side of journal verify: every event it holds that is not what
// was recorded, by name. The exit status.
int VerifyDepartmentStore(const CliOptions& o, Settings& settings);

// Without libpqxx: says so on standard error; the exit status.
int NoDepartmentStore();
