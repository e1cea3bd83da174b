// Every command of calibrate-cli, in the order the overview lists them.
#pragma once

#include <span>

#include "Command.h"

std::span<const Command* const> CommandTable();
// The entry of id; nullptr for Help and Version, which are no commands.
const Command* FindCommand(CliCommand id);

// One function per command file, each returning its command.
const Command& ReadCommand();
const Command& SnapshotCommand();
const Command& PortsCommand();
const Command& MonitorCommand();
const Command& ScanCommand();
const Command& DiagnoseCommand();
const Command& WriteCommand();
const Command& ResetCommand();
const Command& SealCommand();
const Command& ClockCommand();
const Command& RestoreCommand();
const Command& WatchCommand();
const Command& HistoryCommand();
const Command& JournalVerifyCommand();
const Command& CompareCommand();
const Command& ReportCommand();
const Command& ReportVerifyCommand();
const Command& SyncCommand();
const Command& RouteCommand();
const Command& CalibrateCommand();
