#include "ServiceReport.h"

#include <algorithm>
#include <map>
#include <set>

#include "InterruptedWrites.h"
#include "JournalBreakText.h"

namespace {

using nlohmann::json;

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

const json& At(const json& j, const char* key) {
  static const json null;
  return j.is_object() && j.contains(key) ? j.at(key) : null;
}

std::string Text(const json& v) {
  if (v.is_null()) return "—";
  if (v.is_string()) return v.get<std::string>();
  FieldChange c;
  c.before = v;
  // ChangeText's number form without the arrow.
  const std::string t = ChangeText(c);
  return t.substr(0, t.find(" →"));
}

std::string Row(std::initializer_list<std::string> cells, const char* tag = "td") {
  std::string row = "<tr>";
  for (const std::string& c : cells)
    row += std::string("<") + tag + ">" + c + "</" + tag + ">";
  return row + "</tr>\n";
}

// "2026-12-08T09:52:35.794+03:00" as "08.12.2026 09:52".
std::string When(const std::string& local) {
  if (local.size() < 16) return local;
  return local.substr(8, 2) + "." + local.substr(5, 2) + "." + local.substr(0, 4) + " " +
         local.substr(11, 5);
}

// The page boxes come in a block of their own after the rest: a reader that
// does not know them (the window's PDF) drops that block and keeps the styles.
const char* const kStyle = R"(<style>
body { font-family: sans-serif; font-size: 10pt; }
.demo, .damage { color: #b00; font-weight: bold; font-size: 14pt; }
table { border-collapse: collapse; margin-bottom: 8px; }
th, td { border: 1px solid #888; padding: 2px 6px; text-align: left; }
th { background-color: #e8e8e8; }
.changed { font-weight: bold; }
</style>
<style>
.number { string-set: number content(); }
.demo { string-set: demo content(); }
.damage { string-set: damage content(); }
@page { size: A4; margin: 20mm 15mm 20mm 15mm;
  @top-left { content: "Отчёт № " string(number); font-size: 9pt; }
  @top-center { content: string(damage); color: #b00; font-weight: bold; font-size: 9pt; }
  @top-right { content: string(demo); color: #b00; font-weight: bold; }
  @bottom-right { content: "стр. " counter(page) " из " counter(pages); font-size: 9pt; } }
</style>
)";

const char* const kTable = "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\n";

const char* OperationText(const std::string& op) {
  return op == "write"     ? "запись коэффициентов"
         : op == "reset"   ? "сброс"
         : op == "seal"    ? "пломба"
         : op == "clock"   ? "установка часов"
         : op == "restore" ? "восстановление из файла"
                           : "запись";
}

const char* KindText(const std::string& kind) {
  return kind == "read" ? "чтение" : kind == "snapshot" ? "снимок" : "запись";
}

struct Visit {
  const JournalRecord* record = nullptr;
  MeterState state;
};

void Overlay(MeterState& state, const MeterState& newer) {
  for (const StateField& f : newer) {
    auto old = std::find_if(state.begin(), state.end(),
                            [&](const StateField& s) { return s.key == f.key; });
    if (old == state.end())
      state.push_back(f);
    else
      old->value = f.value;
  }
}

// As found: the session's first read or snapshot. As left: every field's
// last known value, from the reads and snapshots and the read-back of the
// writes in the session's order (a write after the last read is what the
// meter holds when the engineer leaves).
Visit FoundVisit(const JournalSession& s) {
  for (const JournalRecord& r : s.records) {
    std::string error;
    if (!ShowsState(r)) continue;
    if (auto state = StateOf(r.event.payload, error)) return {&r, std::move(*state)};
  }
  return {};
}

Visit LeftVisit(const JournalSession& s, const Visit& found) {
  Visit v;
  if (!found.record) return v;
  bool started = false;
  for (const JournalRecord& r : s.records) {
    started = started || &r == found.record;
    std::string error;
    auto state = started ? StateOf(r.event.payload, error) : std::nullopt;
    if (!state) continue;
    Overlay(v.state, *state);
    v.record = &r;
  }
  return v;
}

const StateField* Find(const MeterState& s, const std::string& key) {
  for (const StateField& f : s)
    if (f.key == key) return &f;
  return nullptr;
}

// The fields of both visits whose key begins with prefix: found, left, change.
std::string FoundLeftTable(const Visit& found, const Visit& left, const std::string& prefix) {
  std::string rows;
  std::vector<const StateField*> fields;
  for (const StateField& f : found.state)
    if (f.key.rfind(prefix, 0) == 0) fields.push_back(&f);
  for (const StateField& f : left.state)
    if (f.key.rfind(prefix, 0) == 0 && !Find(found.state, f.key)) fields.push_back(&f);
  for (const StateField* f : fields) {
    const StateField* a = Find(found.state, f->key);
    const StateField* b = Find(left.state, f->key);
    const MeterState one{{f->key, f->label, a ? a->value : json()}};
    const MeterState two{{f->key, f->label, b ? b->value : json()}};
    const StateComparison c = CompareStates(one, two);
    const std::string change =
        c.Equal() ? "без изменений"
                  : "<span class=\"changed\">" + ChangeText(c.changes[0]) + "</span>";
    rows += Row({Escape(f->label), Escape(a ? Text(a->value) : "—"),
                 Escape(b ? Text(b->value) : "—"), change});
  }
  if (rows.empty()) return "<p>Нет данных.</p>\n";
  return std::string(kTable) +
         Row({"Параметр", "До обслуживания", "После обслуживания", "Изменение"}, "th") + rows +
         "</table>\n";
}

std::string Firmware(const JournalSession& s) {
  std::string reference = "—", placeholder, meter = "не читалась", check;
  for (const JournalRecord& r : s.records) {
    const json& p = r.event.payload;
    if (r.event.kind == "read") {
      reference = Text(At(p, "firmware_version"));
      placeholder = At(p, "firmware_reference") == "placeholder" ? "да" : "нет";
    } else if (r.event.kind == "snapshot") {
      const json& f = At(p, "firmware");
      reference = Text(At(At(f, "reference"), "version"));
      placeholder = At(At(f, "reference"), "source") == "placeholder" ? "да" : "нет";
      const json& m = At(f, "meter");
      if (At(m, "state") == "read") meter = Text(At(m, "text"));
      const std::map<std::string, std::string> checks = {{"match", "совпадает"},
                                                         {"mismatch", "НЕ СОВПАДАЕТ"},
                                                         {"placeholder", "эталон не задан"},
                                                         {"no_reference", "нет эталона"},
                                                         {"unreadable", "не распознана"},
                                                         {"not_checked", "не проверялась"}};
      const auto c = checks.find(Text(At(f, "check")));
      check = c == checks.end() ? "" : c->second;
    }
  }
  std::string html = "<h2>Программное обеспечение</h2>\n" + std::string(kTable);
  html += Row({"Эталонная версия (firmware.ini)", Escape(reference)});
  if (!placeholder.empty()) html += Row({"Эталон — заглушка (не задан для модели)", placeholder});
  html += Row({"Версия, прочитанная из прибора", Escape(meter)});
  if (!check.empty()) html += Row({"Сверка с эталоном", check});
  return html + "</table>\n";
}

// A start whose outcome never came: the items and what each was to become.
std::string UnfinishedWrite(const JournalRecord& r) {
  std::string html = "<p class=\"changed\">" + When(r.timeLocal) + ", операция «" +
                     OperationText(Text(At(r.event.payload, "operation"))) +
                     "»: " + kInterruptedWriteText +
                     " (итог записи не получен). Прибор может хранить новые значения любых "
                     "пунктов; исходные сохранены: " +
                     Escape(Text(At(r.event.payload, "before_image_file"))) + "</p>\n" + kTable +
                     Row({"Параметр", "Было", "Должно было стать"}, "th");
  for (const WriteItemChange& c : WriteItemChanges(r))
    html += Row({Escape(c.item), Escape(c.before), Escape(c.after)});
  return html + "</table>\n";
}

std::string WriteStatusText(const JournalRecord& r, const std::set<std::string>& finished) {
  if (IsInterruptedWrite(r, finished)) return kInterruptedWriteText;
  return At(r.event.payload, "status") == "verified" ? "проверено" : "ОШИБКА ПРОВЕРКИ";
}

std::string Writes(const JournalSession& s, const std::set<std::string>& finished) {
  std::string html = "<h2>Записи в прибор</h2>\n";
  bool any = false;
  for (const JournalRecord& r : s.records) {
    if (r.event.kind == "write-started" && IsInterruptedWrite(r, finished)) {
      any = true;
      html += UnfinishedWrite(r);
    }
    if (r.event.kind != "write") continue;
    any = true;
    const json& p = r.event.payload;
    html += "<p>" + When(r.timeLocal) + ", операция «" +
            std::string(OperationText(Text(At(p, "operation")))) +
            "»: " + WriteStatusText(r, finished) +
            ". Исходные значения сохранены: " + Escape(Text(At(p, "before_image_file"))) +
            "</p>\n" + std::string(kTable) + Row({"Параметр", "Было", "Стало", "Проверка"}, "th");
    const json& items = At(p, "items");
    for (const json& i : items.is_array() ? items : json::array())
      html += Row({Escape(Text(At(i, "item"))), Escape(Text(At(i, "before"))),
                   Escape(Text(At(i, "after"))), Escape(Text(At(i, "verification")))});
    html += "</table>\n";
  }
  return any ? html : html + "<p>Запись в прибор не выполнялась.</p>\n";
}

}  // namespace

std::string ReportNumber(const JournalSession& s) {
  if (s.records.empty()) return {};
  const JournalEvent& e = s.records.front().event;
  std::string day = s.Day();
  std::erase(day, '-');
  return (e.serial.empty() ? "б-н" : e.serial) + "-" + day + "-" + s.id.substr(0, 6);
}

ServiceReport MakeServiceReport(const JournalSession& s, const JournalFileContent* journal) {
  ServiceReport report;
  if (s.records.empty()) return report;
  report.number = ReportNumber(s);
  report.damage = journal ? FirstBreakMark(journal->breaks) : std::string();
  const std::set<std::string> finished =
      FinishedWriteStarts(journal ? journal->records : s.records);
  std::string engineer;
  for (const JournalRecord& r : s.records) {
    report.demo = report.demo || At(r.event.payload, "demo") == true;
    if (!r.event.engineer.empty()) engineer = r.event.engineer;
  }
  const JournalEvent& e = s.records.back().event;
  const Visit found = FoundVisit(s), left = LeftVisit(s, found);
  const StateField* id = Find(left.state, "model");
  std::string h =
      "<!DOCTYPE html>\n<html lang=\"ru\">\n<head><meta charset=\"utf-8\">\n<title>Отчёт " +
      Escape(report.number) + "</title>\n" + kStyle + "</head>\n<body>\n";
  if (!report.damage.empty())
    h += "<p class=\"damage\">" + Escape(report.damage) +
         "</p>\n<p>Цепочка журнала не сходится: значения ниже могли быть изменены вручную после "
         "записи.</p>\n";
  if (report.demo)
    h += "<p class=\"demo\">ДЕМО</p>\n<p>Отчёт составлен по виртуальному прибору демонстрационного "
         "режима и не относится к реальному прибору.</p>\n";
  h += "<h1>Отчёт об обслуживании № <span class=\"number\">" + Escape(report.number) +
       "</span></h1>\n" + std::string(kTable);
  h += Row({"Модель", Escape(e.model)});
  h += Row({"Заводской номер", Escape(e.serial.empty() ? "не прочитан" : e.serial)});
  h += Row({"Сетевой адрес", std::to_string(e.address)});
  h += Row({"Идентификация", Escape(id ? Text(id->value) : "—")});
  h += Row(
      {"Порт", Escape(e.port.empty() ? "—" : e.port + ", " + std::to_string(e.speed) + " бод")});
  h += Row({"Дата обслуживания", When(s.records.front().timeLocal).substr(0, 10)});
  h += "</table>\n" + Firmware(s);
  h += "<h2>Коэффициенты</h2>\n";
  if (found.record)
    h += "<p>До обслуживания: " + When(found.record->timeLocal) + " (" +
         KindText(found.record->event.kind) + "); после: " + When(left.record->timeLocal) + " (" +
         KindText(left.record->event.kind) + ").</p>\n";
  h += FoundLeftTable(found, left, "k");
  h += "<h2>Запись калибровки</h2>\n" + FoundLeftTable(found, left, "record");
  h += Writes(s, finished);
  h +=
      "<p class=\"sign\">Инженер: " + Escape(engineer.empty() ? "____________________" : engineer) +
      "</p>\n<p>Дата: " + When(s.records.back().timeLocal).substr(0, 10) +
      "</p>\n<p class=\"sign\">Подпись: ____________________</p>\n</body>\n</html>\n";
  report.html = std::move(h);
  return report;
}
