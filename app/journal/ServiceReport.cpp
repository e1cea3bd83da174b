#include "ServiceReport.h"

#include "Divergence.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "EventNames.h"
#include "InterruptedWrites.h"
#include "JournalBreakText.h"
#include "ReportSeal.h"
#include "SessionState.h"
#include "app/core/values/ValueText.h"
#include "app/core/values/WriteImage.h"

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
  return FieldValueText("", v);
}

std::string Row(const std::vector<std::string>& cells, const char* tag = "td") {
  std::string row = "<tr>";
  for (const std::string& c : cells)
    row += std::string("<") + tag + ">" + c + "</" + tag + ">";
  return row + "</tr>\n";
}

// "2026-12-08T09:52:35.794+03:00" as "08.12.2026 09:52:35", and its day.
std::string When(const std::string& local) {
  return JournalTimeText(local);
}

std::string Day(const std::string& local) {
  return When(local).substr(0, 10);
}

// The page boxes come in a block of their own after the rest: a reader that
// does not know them (the window's PDF) drops that block and keeps the styles.
const char* const kStyle = R"(<style>
body { font-family: sans-serif; font-size: 10pt; }
.demo, .damage, .divergence { color: #b00; font-weight: bold; font-size: 14pt; }
table { border-collapse: collapse; margin-bottom: 8px; }
th, td { border: 1px solid #888; padding: 2px 6px; text-align: left; }
th { background-color: #e8e8e8; }
.changed { font-weight: bold; }
.heading { font-weight: bold; font-size: 11pt; border: none; padding: 8px 0 2px 0; }
small { font-size: 7pt; color: #444; }
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

// A table whose heading is its first row: Qt's rich text, which draws the
// window's PDF, keeps no heading with the table below it, but repeats a
// table's head on every page the table runs on to.
std::string HeadedTable(const std::string& heading, const std::vector<std::string>& titles) {
  return std::string(kTable) + "<thead><tr><td colspan=\"" + std::to_string(titles.size()) +
         "\" class=\"heading\">" + heading + "</td></tr>\n" + Row(titles, "th") + "</thead>\n";
}

// A decoded value with its bytes small below, in pairs that wrap between bytes.
std::string WithBytes(const std::string& meaning, const std::string& hex) {
  std::string spaced;
  for (size_t n = 0; n + 1 < hex.size(); n += 2)
    spaced += (spaced.empty() ? "" : " ") + hex.substr(n, 2);
  return Escape(meaning) + "<br><small>" + Escape(spaced) + "</small>";
}

// A field's value in a cell; the record decoded, with its bytes.
std::string FieldCell(const StateField* f) {
  if (!f) return "—";
  const std::string text = FieldValueText(f->key, f->value);
  if (f->key == kRecordKey && f->value.is_string() && text != f->value.get<std::string>())
    return WithBytes(text, f->value.get<std::string>());
  return Escape(text);
}

// The fields whose key begins with prefix, as found and as left; a field
// whose value did not change says so, one that did is marked.
std::string FoundLeftTable(const SessionState& state, const std::string& heading,
                           const std::string& prefix) {
  std::string rows;
  for (const StateField& f : state.found) {
    if (f.key.rfind(prefix, 0) != 0) continue;
    const StateField* left = FindField(state.left, f.key);
    const StateComparison c = CompareStates({f}, {left ? *left : f});
    const std::string change =
        c.Equal() ? "без изменений"
                  : "<span class=\"changed\">" + Escape(ChangeText(c.changes[0])) + "</span>";
    rows += Row({Escape(f.label), FieldCell(&f), FieldCell(left), change});
  }
  if (rows.empty()) return "<h2>" + heading + "</h2>\n<p>Нет данных.</p>\n";
  return HeadedTable(heading, {"Параметр", "До обслуживания", "После обслуживания", "Изменение"}) +
         rows + "</table>\n";
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
  std::string html = HeadedTable("Программное обеспечение", {"Параметр", "Значение"});
  html += Row({"Эталонная версия (firmware.ini)", Escape(reference)});
  if (!placeholder.empty()) html += Row({"Эталон — заглушка (не задан для модели)", placeholder});
  html += Row({"Версия, прочитанная из прибора", Escape(meter)});
  if (!check.empty()) html += Row({"Сверка с эталоном", check});
  return html + "</table>\n";
}

// An item of a write's image: a coefficient's value, a record or the clock
// decoded with its bytes; text (the item as the write named it) otherwise.
std::string ItemCell(const json& item, const std::string& text) {
  if (!item.is_object()) return Escape(text);
  if (At(item, "read") != true) return "нет ответа";
  const std::string kind = Text(At(item, "item")), hex = Text(At(item, "raw"));
  if (kind == "coef") return Escape(Text(At(item, "stored")));
  const auto bytes = BytesFromHex(hex);
  if (kind == "record") return WithBytes(FieldValueText(kRecordKey, hex), hex);
  MeterClockBytes clock{};
  if (kind != "clock" || !bytes || bytes->size() != clock.size()) return Escape(text);
  std::copy(bytes->begin(), bytes->end(), clock.begin());
  return WithBytes(MeterClockText(clock).value_or("часы не установлены"), hex);
}

const json& ImageItemAt(const json& payload, const char* image, size_t n) {
  const json& items = At(At(payload, image), "items");
  static const json null;
  return items.is_array() && n < items.size() ? items[n] : null;
}

std::string WriteHeading(const JournalRecord& r, const std::string& status) {
  return Escape(When(r.timeLocal) + ", операция «" +
                OperationName(Text(At(r.event.payload, "operation"))) + "»: " + status);
}

// Why the engineer made the write, as he gave it; nothing when he gave no reason.
std::string ReasonLine(const JournalRecord& r) {
  if (r.event.reason.empty()) return {};
  return "<p>Причина: " + Escape(r.event.reason) + "</p>\n";
}

// A start whose outcome never came: the items and what each was to become.
std::string UnfinishedWrite(const JournalRecord& r) {
  const json& p = r.event.payload;
  std::string html =
      HeadedTable(WriteHeading(r, kInterruptedWriteText) + " (итог записи не получен)",
                  {"Параметр", "Было", "Должно было стать"});
  size_t n = 0;
  for (const WriteItemChange& c : WriteItemChanges(r))
    html +=
        Row({Escape(c.item), ItemCell(ImageItemAt(p, "before", n++), c.before), Escape(c.after)});
  return html + "</table>\n" + ReasonLine(r) +
         "<p class=\"changed\">Прибор может хранить новые значения любых " +
         "пунктов; исходные сохранены: " + Escape(Text(At(p, "before_image_file"))) + "</p>\n";
}

std::string WriteStatusText(const JournalRecord& r, const std::set<std::string>& finished) {
  if (IsInterruptedWrite(r, finished)) return kInterruptedWriteText;
  return At(r.event.payload, "status") == "verified" ? "проверено" : "ОШИБКА ПРОВЕРКИ";
}

std::string FinishedWrite(const JournalRecord& r, const std::set<std::string>& finished) {
  const json& p = r.event.payload;
  std::string html = HeadedTable(WriteHeading(r, WriteStatusText(r, finished)),
                                 {"Параметр", "Было", "Стало", "Проверка"});
  const json& items = At(p, "items");
  for (size_t n = 0; items.is_array() && n < items.size(); ++n) {
    const json& i = items[n];
    html += Row({Escape(Text(At(i, "item"))),
                 ItemCell(ImageItemAt(p, "before", n), Text(At(i, "before"))),
                 ItemCell(ImageItemAt(p, "after", n), Text(At(i, "after"))),
                 Escape(Text(At(i, "verification")))});
  }
  return html + "</table>\n" + ReasonLine(r) +
         "<p>Исходные значения сохранены: " + Escape(Text(At(p, "before_image_file"))) + "</p>\n";
}

std::string Writes(const JournalSession& s, const std::set<std::string>& finished) {
  std::string html;
  for (const JournalRecord& r : s.records) {
    if (r.event.kind == "write-started" && IsInterruptedWrite(r, finished))
      html += UnfinishedWrite(r);
    if (r.event.kind == "write") html += FinishedWrite(r, finished);
  }
  return "<h2>Записи в прибор</h2>\n" +
         (html.empty() ? "<p>Запись в прибор не выполнялась.</p>\n" : html);
}

// Every event of the session with who recorded it and where: the engineer
// (a dash when none was named), and, when any event has them, the
// workstation and the time the department's server received it (UTC).
std::string Events(const JournalSession& s) {
  bool workstation = false, received = false;
  for (const JournalRecord& r : s.records) {
    workstation = workstation || !r.event.workstation.empty();
    received = received || !r.received.empty();
  }
  std::vector<std::string> titles = {"Время", "Событие", "Инженер"};
  if (workstation) titles.push_back("Рабочее место");
  if (received) titles.push_back("Получено сервером (UTC)");
  std::string html = HeadedTable("События сеанса", titles);
  for (const JournalRecord& r : s.records) {
    std::vector<std::string> cells = {Escape(When(r.timeLocal)), Escape(EventName(r)),
                                      Escape(r.event.engineer.empty() ? "—" : r.event.engineer)};
    if (workstation) cells.push_back(Escape(r.event.workstation));
    if (received) cells.push_back(r.received.empty() ? "" : Escape(When(r.received)));
    html += Row(cells);
  }
  return html + "</table>\n";
}

// The meter's catalogue caption as the last read or snapshot shows it.
std::string Caption(const JournalSession& s) {
  std::string caption;
  for (const JournalRecord& r : s.records) {
    const json& c = r.event.kind == "read" ? At(r.event.payload, "device_caption")
                                           : At(r.event.payload, "caption");
    if (c.is_string()) caption = c.get<std::string>();
  }
  caption.erase(0, caption.find_first_not_of(' '));
  caption.erase(caption.find_last_not_of(' ') + 1);
  return caption;
}

// The model is the meter's own name (its MeterId); the catalogue's caption,
// which for some models is only "Прибор", goes beside it.
std::string ModelText(const JournalSession& s, const std::string& model) {
  const std::string caption = Caption(s);
  if (caption.empty() || caption == model) return Escape(model);
  return Escape(model + " (в каталоге: " + caption + ")");
}

// The meter's clock at the session's last snapshot, decoded; empty when
// no snapshot read it.
std::string ClockText(const JournalSession& s) {
  std::string text;
  for (const JournalRecord& r : s.records) {
    const json& clock = At(r.event.payload, "clock");
    if (r.event.kind != "snapshot" || At(clock, "state") != "read") continue;
    const auto bytes = BytesFromHex(Text(At(clock, "raw")));
    MeterClockBytes raw{};
    if (!bytes || bytes->size() != raw.size()) continue;
    std::copy(bytes->begin(), bytes->end(), raw.begin());
    text = MeterClockText(raw).value_or("не установлены") +
           " (время компьютера: " + When(r.timeLocal) + ")";
  }
  return text;
}

std::string MeterTable(const JournalSession& s, const SessionState& state,
                       const std::string& number, const std::string& title) {
  const JournalEvent& e = s.records.back().event;
  const StateField* id = FindField(state.left, "model");
  std::string h = "<h1>" + title + " № <span class=\"number\">" + Escape(number) +
                  "</span></h1>\n" + HeadedTable("Прибор", {"Параметр", "Значение"});
  h += Row({"Модель", ModelText(s, e.model)});
  h += Row({"Заводской номер", Escape(e.serial.empty() ? "не прочитан" : e.serial)});
  h += Row({"Сетевой адрес", std::to_string(e.address)});
  h += Row({"Идентификация", Escape(id ? Text(id->value) : "—")});
  h += Row(
      {"Порт", Escape(e.port.empty() ? "—" : e.port + ", " + std::to_string(e.speed) + " бод")});
  h += Row({"Дата обслуживания", Day(s.records.front().timeLocal)});
  if (const std::string clock = ClockText(s); !clock.empty())
    h += Row({"Часы прибора", Escape(clock)});
  return h + "</table>\n";
}

std::string Marks(const ServiceReport& report) {
  std::string h;
  if (!report.damage.empty())
    h += "<p class=\"damage\">" + Escape(report.damage) +
         "</p>\n<p>Цепочка журнала не сходится: значения ниже могли быть изменены вручную после "
         "записи.</p>\n";
  if (report.demo)
    h += "<p class=\"demo\">ДЕМО</p>\n<p>Отчёт составлен по виртуальному прибору демонстрационного "
         "режима и не относится к реальному прибору.</p>\n";
  return h;
}

std::string Sources(const SessionState& state) {
  if (!state.first) return {};
  return "<p>До обслуживания: " + When(state.first->timeLocal) + " (" + EventName(*state.first) +
         "); после: " + When(state.last->timeLocal) + " (" + EventName(*state.last) +
         "). Значение до обслуживания — первое известное за сеанс, после — последнее.</p>\n";
}

// Two visits of other workstations that the record cannot put in order:
// both states after service, side by side, with who left them and when.
std::string DivergenceHtml(const std::vector<JournalSession>& sessions) {
  const std::optional<Divergence> d = FindDivergence(sessions);
  if (!d) return {};
  const auto who = [](const DivergentVisit& v) {
    const JournalEvent& e = v.last.event;
    return When(v.last.timeLocal) + ", " +
           Escape(e.engineer.empty() ? "инженер не указан" : e.engineer) + ", " +
           Escape(e.workstation.empty() ? e.computer : e.workstation);
  };
  std::string h = "<p class=\"divergence\">" + Escape(kDivergenceText) + "</p>\n" +
                  HeadedTable("Два состояния", {"Параметр", who(d->earlier), who(d->later)});
  for (const FieldChange& c : d->difference.changes)
    h += Row({Escape(c.label), Escape(FieldValueText(c.key, c.before)),
              Escape(FieldValueText(c.key, c.after))});
  return h + "</table>\n";
}

// What changed since the visit before this session, writes included: the
// sessions of the journal up to this one, compared as compare --last does.
std::string SinceLastVisit(const JournalSession& s, const JournalFileContent* journal) {
  if (!journal) return {};
  std::vector<JournalSession> upTo;
  for (JournalSession& session : JournalSessions(*journal)) {
    const bool mine = session.id == s.id;
    upTo.push_back(std::move(session));
    if (mine) break;
  }
  const VisitComparison v = CompareWithPreviousVisit(upTo);
  std::string h = "<h2>С прошлого визита</h2>\n" + DivergenceHtml(upTo);
  if (!v.ok) return h + "<p>Прошлого визита этого прибора в журнале нет.</p>\n";
  h += "<p>Прошлый визит: " + Day(v.previous.timeLocal) + ". ";
  if (v.comparison.Equal()) return h + "Коэффициенты и запись калибровки те же.</p>\n";
  h += "Изменилось:</p>\n<ul>\n";
  for (const FieldChange& c : v.comparison.changes)
    h += "<li>" + Escape(c.label + ": " + ChangeText(c)) + "</li>\n";
  return h + "</ul>\n";
}

}  // namespace

std::string ReportNumber(const JournalSession& s) {
  if (s.records.empty()) return {};
  const JournalEvent& e = s.records.front().event;
  std::string day = s.Day();
  std::erase(day, '-');
  return (e.serial.empty() ? "б-н" : e.serial) + "-" + day + "-" + s.id.substr(0, 6);
}

ServiceReport MakeServiceReport(const JournalSession& s, const JournalFileContent* journal,
                                const ReportSeal* seal) {
  ServiceReport report;
  if (s.records.empty()) return report;
  report.number = ReportNumber(s);
  report.damage = journal ? FirstBreakMark(journal->breaks) : std::string();
  const std::set<std::string> finished =
      FinishedWriteStarts(journal ? journal->records : s.records);
  std::string engineer;
  // An inspector's session, every event of it made in inspector mode, changed
  // nothing: its report is the record of a check.
  bool inspection = true;
  for (const JournalRecord& r : s.records) {
    report.demo = report.demo || At(r.event.payload, "demo") == true;
    inspection = inspection && At(r.event.payload, "inspector") == true;
    if (!r.event.engineer.empty()) engineer = r.event.engineer;
  }
  report.title = inspection ? "Протокол проверки" : "Отчёт об обслуживании";
  const SessionState state = FullestState(s.records);
  std::string h = "<!DOCTYPE html>\n<html lang=\"ru\">\n<head><meta charset=\"utf-8\">\n<title>" +
                  std::string(inspection ? "Протокол " : "Отчёт ") + Escape(report.number) +
                  "</title>\n" + kStyle + "</head>\n<body>\n" + Marks(report);
  h += MeterTable(s, state, report.number, report.title) + Firmware(s) + Sources(state);
  h += FoundLeftTable(state, "Коэффициенты", "k");
  h += FoundLeftTable(state, "Запись калибровки", kRecordKey);
  h += Writes(s, finished) + Events(s) + SinceLastVisit(s, journal);
  if (seal) {
    h += ReportSealHtml(*seal);
    report.dataHash = seal->dataHash;
    report.qrText = seal->qrText;
  }
  h +=
      "<p class=\"sign\">Инженер: " + Escape(engineer.empty() ? "____________________" : engineer) +
      "</p>\n<p>Дата: " + Day(s.records.back().timeLocal) +
      "</p>\n<p class=\"sign\">Подпись: ____________________</p>\n</body>\n</html>\n";
  report.html = std::move(h);
  return report;
}
