// snapshot: everything a meter's driver can read, writing nothing.
#include <iostream>

#include "CommandTable.h"
#include "JournalEvents.h"
#include "MeterCommand.h"
#include "ReadOptions.h"
#include "app/core/ops/MeterSnapshotRead.h"
#include "cli/output/SnapshotOutput.h"

namespace {

class Snapshot final : public MeterCommand {
 public:
  Snapshot()
      : MeterCommand(CliCommand::Snapshot, "snapshot",
                     "read everything a meter's driver can read, writing nothing") {}

  void Declare(Declaration& d, CliOptions& o) const override {
    DeclareReadOptions(d, o, "snapshot");
  }
  std::string Description() const override {
    return "Identifies a meter as the read does, then reads everything its driver can read,\n"
           "without writing anything: K and Obr, indexes 0 to 9, of each channel with the\n"
           "meter's own bytes, Gmax, the present values G and SFR, the serial number, the\n"
           "firmware version the meter reports (checked against firmware.ini when that\n"
           "gives the model's version), the meter's clock and the calibration record.\n"
           "--json writes the snapshot as a file keeps it (\"schema\": 1).\n";
  }
  std::string Statuses() const override {
    return "Exit status: 0 every item read, 1 an item could not be read, 2 usage error,\n"
           "3 the port cannot be opened, 4 no meter recognised.\n";
  }

 protected:
  // The snapshot connects by itself, so that a failed connection still gives
  // a snapshot that says how far it got.
  int RunOnLine(const CliOptions& o, Settings& settings, MeterLine& line) const override {
    const MeterSnapshot snapshot = TakeSnapshot(line.spec, line.catalogue, line.trace);
    if (snapshot.result == ReadResult::PortError)
      std::cerr << "Ошибка: " << kPortOpenError << line.spec.name << "\n";
    if (snapshot.result == ReadResult::NotFound) std::cerr << "Ошибка: " << kNotFoundError << "\n";
    std::cout << (o.json ? SnapshotAsJson(snapshot) : SnapshotAsText(snapshot)) << std::flush;
    JournalTheSnapshot(o, settings, snapshot);
    return Code(SnapshotExitStatus(snapshot));
  }
};

}  // namespace

const Command& SnapshotCommand() {
  static const Snapshot command;
  return command;
}
