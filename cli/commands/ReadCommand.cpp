// read: the window's "Прочитать", printed as text or JSON.
#include <iostream>

#include "CommandTable.h"
#include "JournalEvents.h"
#include "MeterCommand.h"
#include "ReadOptions.h"
#include "app/core/meter/MeterRead.h"
#include "app/core/meter/RecordingView.h"
#include "app/core/ops/MeterSnapshotRead.h"
#include "cli/options/JournalOptions.h"
#include "cli/options/LineOptions.h"
#include "cli/options/MeterOptions.h"
#include "cli/output/ReadOutput.h"

// The options of read, which snapshot and the writing commands take too.
void DeclareReadOptions(Declaration& d, CliOptions& o, const std::string& recorded) {
  AddLineOptions(d, o, Speeds::Meter);
  AddMeterOptions(d, o);
  d.App().add_flag("--json", o.json, "один объект JSON вместо текста");
  AddJournalRecording(d, o, recorded);
}

namespace {

class Read final : public MeterCommand {
 public:
  Read() : MeterCommand(CliCommand::Read, "read", "прочитать калибровочные данные прибора") {}

  void Declare(Declaration& d, CliOptions& o) const override {
    DeclareReadOptions(d, o, kReadEvent);
  }
  std::string Description() const override {
    return "Читает прибор так же, как кнопка \"Прочитать\" окна: опознаёт его, затем "
           "показывает серийный номер, K0 и Ku обоих каналов, запись о калибровке и эталонные "
           "данные ПО.\n";
  }
  std::string Statuses() const override {
    return "Коды завершения: 0 прочитано, 1 поле показывает ERR или запись о калибровке не "
           "прочитана, 2 ошибка командной строки, 3 порт не открывается, 4 прибор не опознан.\n";
  }

 protected:
  // The read connects by itself: it is the window's read, view and all.
  int RunOnLine(const CliOptions& o, Settings& settings, MeterLine& line) const override {
    TMeterRead read(line.catalogue);
    read.SetOnTrace(line.trace);
    RecordingView view;
    const MeterReading reading = read.BRefreshClick(view, line.spec);
    for (size_t i = 0; i < view.errors.size(); ++i)
      std::cerr << "Ошибка: " << view.errors[i] << "\n" << view.details[i];
    std::cout << (o.json ? ReadAsJson(reading) : ReadAsText(reading)) << std::flush;
    // The as-found of the visit, in full; quiet, since the read's output
    // is what was asked for.
    if (JournalTheRead(o, settings, reading))
      JournalTheSnapshot(o, settings, TakeSnapshot(line.spec, line.catalogue, line.trace));
    return Code(ReadExitStatus(reading));
  }
};

}  // namespace

const Command& ReadCommand() {
  static const Read command;
  return command;
}
