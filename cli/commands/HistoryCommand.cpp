// history: the meters in the service journal, or one meter's events.
#include <iostream>
#include <set>

#include "BrokenJournal.h"
#include "CommandTable.h"
#include "JournalEvents.h"
#include "JournalMeters.h"
#include "app/core/values/ValueText.h"
#include "app/journal/Divergence.h"
#include "app/journal/EventNames.h"
#include "app/journal/InterruptedWrites.h"
#include "cli/options/JournalOptions.h"
#include "cli/output/ExitStatus.h"

namespace {

void PrintMeters(const JournalListing& listing) {
  if (listing.meters.empty()) std::cout << "(журнал пуст)\n";
  for (const JournalMeter& m : listing.meters) {
    if (!m.error.empty()) {
      std::cout << m.file << ": " << m.error << "\n";
      continue;
    }
    std::cout << m.model << "  №" << (m.serial.empty() ? "?" : m.serial) << "  " << m.port
              << " адрес " << m.address << "  событий: " << m.events
              << "  последнее: " << JournalTimeText(m.lastTimeLocal) << "\n";
  }
}

// One line an event: its id, time, name, model, engineer, program and, for a
// write, the engineer's reason. A write left in doubt gets the word and,
// below it, what the meter may hold now: each item's value before and the
// value it was to get.
// Another workstation's event names it. A record of two states after service
// says so first.
void PrintEvents(const JournalFileContent& content) {
  if (const auto divergence = FindDivergence(JournalSessions(content)))
    std::cout << DivergenceText(*divergence);
  const std::set<std::string> finished = FinishedWriteStarts(content.records);
  for (const JournalRecord& r : content.records) {
    std::cout << r.id << "  " << JournalTimeText(r.timeLocal) << "  " << EventName(r) << "  "
              << r.event.model << "  " << r.event.engineer << "  " << r.event.program;
    if (r.department) std::cout << "  рабочее место " << r.event.workstation;
    if (!r.event.reason.empty()) std::cout << "  причина: " << r.event.reason;
    if (!IsInterruptedWrite(r, finished)) {
      std::cout << "\n";
      continue;
    }
    std::cout << "  " << kInterruptedWriteText << "\n";
    for (const WriteItemChange& c : WriteItemChanges(r))
      std::cout << "    " << c.item << ": " << c.before << " → " << c.after << "\n";
  }
  for (const JournalDamage& d : content.damaged)
    std::cout << "строка " << d.line << " повреждена: " << d.why << "\n";
}

// The events as ToJson gives them, and the ids of the writes left in doubt.
nlohmann::json EventsJson(const JournalFileContent& content) {
  nlohmann::json out = ToJson(content);
  const std::set<std::string> finished = FinishedWriteStarts(content.records);
  out["interrupted"] = nlohmann::json::array();
  for (const JournalRecord& r : content.records)
    if (IsInterruptedWrite(r, finished)) out["interrupted"].push_back(r.id);
  if (const auto divergence = FindDivergence(JournalSessions(content)))
    out["divergence"] = ToJson(*divergence);
  return out;
}

class History final : public Command {
 public:
  History()
      : Command(CliCommand::History, "history",
                "приборы в сервисном журнале или события одного прибора") {}

  void Declare(Declaration& d, CliOptions& o) const override {
    d.App().add_option_function<std::string>(
        "SERIAL", [&o](const std::string& serial) { o.operands = {serial}; },
        "серийный номер прибора");
    AddJournalFolder(d, o);
    AddForceOption(d, o);
  }
  std::string Description() const override {
    return "Перечисляет приборы в сервисном журнале или события прибора с серийным номером "
           "SERIAL, новые первыми. Папка: --journal, иначе [Journal] Dir файла настроек (по "
           "умолчанию папка journal рядом с ним). Запись, которую прибор мог принять "
           "наполовину (начало записано, итог нет, или она остановлена), помечена словом "
           "прервано, с прежним значением каждого пункта и тем, которое он должен был "
           "получить.\n";
  }
  std::string Statuses() const override {
    return std::string(
               "Коды завершения: 0 перечислено, 1 журнал или прибор не читается, 5 см. ниже.\n") +
           kBrokenJournalHelp;
  }

  int Run(const CliOptions& o, Settings& settings) const override {
    const std::string dir = JournalDir(o, settings);
    const JournalListing listing = ListJournalMeters(dir);
    if (!listing.ok) {
      std::cerr << "calibrate-cli: " << listing.error << "\n";
      return Code(ExitStatus::Failed);
    }
    if (o.operands.empty()) {
      if (o.json)
        std::cout << ToJson(listing).dump() << "\n";
      else
        PrintMeters(listing);
      return Code(ExitStatus::Ok);
    }
    const std::string file = MeterFile(listing, o.operands[0]);
    if (file.empty()) {
      std::cerr << "calibrate-cli: в журнале " << dir << " нет прибора " << o.operands[0] << "\n";
      return Code(ExitStatus::Failed);
    }
    const JournalFileContent content = ReadMeterJournal(dir, file);
    if (!content.ok) {
      std::cerr << "calibrate-cli: " << content.error << "\n";
      return Code(ExitStatus::Failed);
    }
    if (!MayUseJournal(o, content.breaks)) return BrokenJournalStatus();
    if (o.json)
      std::cout << EventsJson(content).dump() << "\n";
    else
      PrintEvents(content);
    return Code(ExitStatus::Ok);
  }
};

}  // namespace

const Command& HistoryCommand() {
  static const History command;
  return command;
}
