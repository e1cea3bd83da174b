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
                     "прочитать всё, что может драйвер прибора, ничего не записывая") {}

  void Declare(Declaration& d, CliOptions& o) const override {
    DeclareReadOptions(d, o, kSnapshotEvent);
  }
  std::string Description() const override {
    return "Опознаёт прибор, как при чтении, затем читает всё, что может прочитать его "
           "драйвер, ничего не записывая: K и Obr с индексами от 0 до 9 каждого канала вместе "
           "с байтами прибора, Gmax, текущие значения G и SFR, серийный номер, версию ПО, "
           "которую сообщает прибор (со сверкой по firmware.ini, если там задана версия "
           "модели), часы прибора и запись о калибровке. С --json снимок выводится так, как "
           "его хранит файл (\"schema\": 1).\n";
  }
  std::string Statuses() const override {
    return "Коды завершения: 0 прочитано всё, 1 что-то не прочитано, 2 ошибка командной "
           "строки, 3 порт не открывается, 4 прибор не опознан.\n";
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
