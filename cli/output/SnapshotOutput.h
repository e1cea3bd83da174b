// How calibrate-cli prints a snapshot: text with Russian labels (the read's
// where it has them), or the snapshot's JSON; and the exit status.
#pragma once

#include <string>

#include "app/core/values/MeterSnapshot.h"
#include "cli/output/ExitStatus.h"

// 0 every item read, 1 an item failed, 3 the port, 4 no meter recognised.
ExitStatus SnapshotExitStatus(const MeterSnapshot& snapshot);

std::string SnapshotAsText(const MeterSnapshot& snapshot);
std::string SnapshotAsJson(const MeterSnapshot& snapshot);
