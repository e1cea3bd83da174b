#include "CommandTable.h"

#include <array>

std::span<const Command* const> CommandTable() {
  static const std::array<const Command*, 20> table{
      &ReadCommand(),         &SnapshotCommand(),      &PortsCommand(),   &MonitorCommand(),
      &ScanCommand(),         &DiagnoseCommand(),      &WriteCommand(),   &ResetCommand(),
      &SealCommand(),         &ClockCommand(),         &RestoreCommand(), &WatchCommand(),
      &HistoryCommand(),      &JournalVerifyCommand(), &CompareCommand(), &ReportCommand(),
      &ReportVerifyCommand(), &SyncCommand(),          &RouteCommand(),   &CalibrateCommand()};
  return table;
}

const Command* FindCommand(CliCommand id) {
  for (const Command* c : CommandTable())
    if (c->Id() == id) return c;
  return nullptr;
}
