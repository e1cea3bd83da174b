// compare: what differs between two snapshots, reads or visits of a meter.
#include <filesystem>
#include <fstream>
#include <iostream>

#include "BrokenJournal.h"
#include "CommandTable.h"
#include "JournalEvents.h"
#include "JournalMeters.h"
#include "app/core/values/ValueText.h"
#include "app/journal/Divergence.h"
#include "app/journal/EventNames.h"
#include "app/journal/JournalFile.h"
#include "app/journal/JournalReader.h"
#include "app/journal/ServiceReport.h"
#include "cli/options/JournalOptions.h"
#include "cli/output/ExitStatus.h"

namespace {

// A side of a comparison: a file, or an event of the journal.
struct Side {
  std::string what;  // for the output: the file, or the event's id, kind and time
  nlohmann::json document;
  std::string kind;  // "read", "snapshot", "write"
};

// "1a2b3c… (снимок, 09.12.2026 00:52:54)".
std::string Described(const JournalRecord& r) {
  return r.id + " (" + EventName(r) + ", " + JournalTimeText(r.timeLocal) + ")";
}

// "различаются 6 полей из 46", with the noun and verb in the number's form.
std::string DifferText(size_t n, size_t of) {
  const size_t ten = n % 10, hundred = n % 100;
  const bool one = ten == 1 && hundred != 11;
  const bool few = ten >= 2 && ten <= 4 && (hundred < 12 || hundred > 14);
  return std::string(one ? "различается " : "различаются ") + std::to_string(n) +
         (one   ? " поле из "
          : few ? " поля из "
                : " полей из ") +
         std::to_string(of);
}

// Nullopt with the reason on standard error; status then says which failure.
std::optional<Side> LoadSide(const CliOptions& o, const std::string& ref, const std::string& dir,
                             ExitStatus& status) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(PathFromUtf8(ref), ec)) {
    std::ifstream in(PathFromUtf8(ref), std::ios::binary);
    nlohmann::json document = nlohmann::json::parse(in, nullptr, false);
    if (document.is_discarded()) {
      std::cerr << "calibrate-cli: " << ref << " — не документ JSON\n";
      status = ExitStatus::Usage;
      return std::nullopt;
    }
    const std::string kind = document.contains("schema")      ? "snapshot"
                             : document.contains("operation") ? "write"
                                                              : "read";
    return Side{ref, std::move(document), kind};
  }
  const JournalLookup found = FindJournalEvent(dir, ref);
  if (!found.ok) {
    status = ExitStatus::NotFound;
    std::cerr << "calibrate-cli: " << ref << ": нет ни такого файла, ни события: "
              << (found.error.empty() ? "в журнале " + dir + " нет событий" : found.error) << "\n";
    return std::nullopt;
  }
  if (!MayUseJournal(o, found.breaks)) {
    status = ExitStatus::Refused;
    return std::nullopt;
  }
  const JournalRecord& r = found.record;
  return Side{Described(r), r.event.payload, r.event.kind};
}

// divergence: of the meter's record across the department, when it has one.
int PrintComparison(const CliOptions& o, const std::string& a, const std::string& b,
                    const StateComparison& c, const std::optional<Divergence>& divergence = {}) {
  if (o.json) {
    nlohmann::json out = ToJson(c);
    out["a"] = a;
    out["b"] = b;
    if (divergence) out["divergence"] = ToJson(*divergence);
    std::cout << out.dump() << "\n";
  } else {
    if (divergence) std::cout << DivergenceText(*divergence);
    std::cout << "A: " << a << "\nB: " << b << "\n";
    for (const FieldChange& change : c.changes)
      std::cout << change.label << ": " << ChangeText(change) << "\n";
    if (c.Equal())
      std::cout << "различий нет (сравнено полей: " << c.compared << ")\n";
    else
      std::cout << DifferText(c.changes.size(), c.compared) << "\n";
  }
  return Code(c.Equal() ? ExitStatus::Ok : ExitStatus::Failed);
}

int CompareLastVisit(const CliOptions& o, const std::string& dir) {
  const std::string file = ChosenMeterFile(o, dir, true);
  if (file.empty()) return Code(ExitStatus::NotFound);
  const JournalFileContent content = ReadMeterJournal(dir, file);
  if (content.ok && !MayUseJournal(o, content.breaks)) return BrokenJournalStatus();
  const std::vector<JournalSession> sessions = JournalSessions(content);
  const VisitComparison v = CompareWithPreviousVisit(sessions);
  if (!v.ok) {
    std::cerr << "calibrate-cli: " << (content.ok ? v.error : content.error) << "\n";
    return Code(ExitStatus::NotFound);
  }
  return PrintComparison(o, Described(v.previous), Described(v.last), v.comparison,
                         FindDivergence(sessions));
}

class Compare final : public Command {
 public:
  Compare()
      : Command(CliCommand::Compare, "compare", "чем различаются два снимка, чтения или визита") {}

  void Declare(Declaration& d, CliOptions& o) const override {
    for (auto [name, about] : {std::pair{"A", "файл или событие журнала; с --last: SERIAL"},
                               std::pair{"B", "второй файл или событие журнала"}})
      d.App().add_option_function<std::string>(
          name, [&o](const std::string& side) { o.operands.push_back(side); }, about);
    d.App().add_flag("--last", o.lastVisit, "сравнить с прошлым визитом");
    AddJournalFolder(d, o);
    AddForceOption(d, o);
  }
  void Check(CliOptions& o) const override {
    if (o.lastVisit ? o.operands.size() > 1 : o.operands.size() != 2)
      throw Refusal{"compare: нужны два снимка или события, либо --last [SERIAL]"};
  }
  std::string Description() const override {
    return "Перечисляет каждое поле, которое различается в двух состояниях прибора, с обоими "
           "значениями, разностью и, для чисел, разностью в % от первого значения. A и B — "
           "файлы (snapshot --json, read --json) или события журнала: номер события, как его "
           "показывает history (хватит первых 4 цифр или больше), или last, самое новое "
           "событие. --last сравнивает самое новое чтение или снимок прибора (SERIAL; по "
           "умолчанию прибор самого нового события журнала) с его прошлым визитом: последним "
           "чтением или снимком более раннего сеанса. Сравниваются коэффициенты, Gmax, запись о "
           "калибровке, серийный номер и ПО; текущие значения и часы не сравниваются.\n";
  }
  std::string Statuses() const override {
    return std::string(
               "Коды завершения: 0 различий нет, 1 есть различия, 2 ошибка командной строки или "
               "файл, который не чтение и не снимок, 4 нечего сравнивать (нет такого события или "
               "прибора, нет более раннего визита), 5 см. ниже.\n") +
           kBrokenJournalHelp;
  }

  int Run(const CliOptions& o, Settings& settings) const override {
    const std::string dir = JournalDir(o, settings);
    if (o.lastVisit) return CompareLastVisit(o, dir);
    ExitStatus status = ExitStatus::NotFound;
    const auto a = LoadSide(o, o.operands[0], dir, status);
    const auto b = a ? LoadSide(o, o.operands[1], dir, status) : std::nullopt;
    if (!a || !b) return Code(status);
    std::string error;
    const auto before = StateOf(a->document, error);
    const auto after = before ? StateOf(b->document, error) : std::nullopt;
    if (!after) {
      std::cerr << "calibrate-cli: " << (before ? b->what : a->what) << ": " << error << "\n";
      return Code(ExitStatus::Usage);
    }
    return PrintComparison(o, a->what, b->what, CompareStates(*before, *after, a->kind == b->kind));
  }
};

}  // namespace

const Command& CompareCommand() {
  static const Compare command;
  return command;
}
