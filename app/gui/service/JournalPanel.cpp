#include "JournalPanel.h"

#include <QCheckBox>
#include <QColor>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <fstream>
#include <set>

#include "ReportPdf.h"
#ifdef CALIBRATE_DEPARTMENT
#include "SyncBar.h"
#endif
#include "app/core/values/ValueText.h"
#include "app/journal/Divergence.h"
#include "app/journal/EventNames.h"
#include "app/journal/InterruptedWrites.h"
#include "app/journal/JournalBreakText.h"
#include "app/journal/JournalFile.h"
#include "app/journal/ReportSeal.h"
#include "app/journal/ServiceJournal.h"

namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// "2026-12-08T09:52:35.794+03:00" as "08.12.2026 09:52:35".
QString When(const std::string& local) {
  return Q(JournalTimeText(local));
}

// What a write left in doubt may have left in the meter: "K0 к.1: 0.0025 → 0.003".
QString DoubtfulItems(const JournalRecord& r) {
  QStringList items;
  for (const WriteItemChange& c : WriteItemChanges(r))
    items << Q(c.item + ": " + c.before + " → " + c.after);
  return items.join(QStringLiteral("; "));
}

QString Summary(const JournalRecord& r, const std::set<std::string>& finished) {
  const nlohmann::json& p = r.event.payload;
  if (r.event.kind == "write" || r.event.kind == "write-started") {
    const size_t items = p.contains("items") ? p.at("items").size() : 0;
    const QString head = QStringLiteral("параметров: %1, ").arg(items);
    if (IsInterruptedWrite(r, finished))
      return head + Q(kInterruptedWriteText) + QStringLiteral(", прибор может хранить: ") +
             DoubtfulItems(r);
    if (r.event.kind == "write-started") return head + QStringLiteral("итог записан");
    const bool ok = p.value("status", "") == "verified";
    return head + (ok ? QStringLiteral("проверено") : QStringLiteral("ОШИБКА ПРОВЕРКИ"));
  }
  std::string error;
  const auto state = StateOf(p, error);
  if (!state) return Q(error);
  QStringList parts;
  for (const StateField& f : *state)
    if (f.key == "k1.K0" || f.key == "k1.Ku" || f.key == kRecordKey)
      parts << Q(f.label) + " = " + Q(FieldValueText(f.key, f.value));
  return parts.join(QStringLiteral(", "));
}

// Another workstation's event says whose it is.
QString Whose(const JournalRecord& r) {
  if (!r.department) return {};
  return QStringLiteral("  [%1, рабочее место %2]")
      .arg(r.event.engineer.empty() ? QStringLiteral("инженер не указан") : Q(r.event.engineer),
           Q(r.event.workstation.empty() ? r.event.computer : r.event.workstation));
}

}  // namespace

JournalPanel::JournalPanel(Workbench& bench, QWidget* parent)
    : QWidget(parent),
      bench_(bench),
      enabled_(new QCheckBox(QStringLiteral("Вести журнал обслуживания"))),
      engineer_(new QLineEdit),
      events_(new QListWidget),
      since_(new QLabel),
      status_(new QLabel),
      report_(new QPushButton(QStringLiteral("Отчёт…"))) {
  auto* form = new QFormLayout;
  form->addRow(enabled_);
  form->addRow(QStringLiteral("Инженер"), engineer_);
  since_->setWordWrap(true);
  since_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status_->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  // An event's summary runs long: wrapped, it is read whole without scrolling.
  events_->setWordWrap(true);
  events_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  layout->addWidget(events_, 1);
  layout->addWidget(since_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(status_, 1);
  buttons->addWidget(report_);
  layout->addLayout(buttons);
#ifdef CALIBRATE_DEPARTMENT
  sync_ = new SyncBar(bench_);
  layout->addWidget(sync_);
  connect(sync_, &SyncBar::Synced, this, [this] { Refresh(); });
#endif
  connect(enabled_, &QCheckBox::toggled, this, [this] { SaveSettings(); });
  connect(engineer_, &QLineEdit::textEdited, this, [this] { SaveSettings(); });
  connect(report_, &QPushButton::clicked, this, [this] { SaveReport(); });
  Refresh();
}

// At once, as the other settings are; a file that cannot be written is said
// here, where the engineer just made the change.
void JournalPanel::SaveSettings() {
  JournalSettings s = bench_.Journal();
  s.enabled = enabled_->isChecked();
  s.engineer = engineer_->text().toStdString();
  if (!bench_.SetJournal(s))
    status_->setText(Q("Не удалось записать настройки в " + bench_.SettingsPath()));
}

void JournalPanel::Refresh() {
  const JournalSettings s = bench_.Journal();
  {
    const QSignalBlocker a(enabled_), b(engineer_);
    enabled_->setChecked(s.enabled);
    if (engineer_->text().toStdString() != s.engineer) engineer_->setText(Q(s.engineer));
  }
  events_->clear();
  file_.clear();
  report_->setEnabled(false);
  const MeterReading* reading = &bench_.LastReading();
  if (reading->serial.empty()) {
    since_->setText(
        QStringLiteral("Прибор ещё не прочитан: журнал показывается для прочитанного "
                       "прибора."));
    return;
  }
  const JournalFileContent content = ReadMeterJournal(s.dir, reading->serial);
  file_ = content.ok ? content.file : std::string();
  if (content.records.empty()) {
    since_->setText(QStringLiteral("В журнале нет событий прибора № %1.").arg(Q(reading->serial)));
    file_.clear();
    return;
  }
  // A journal whose chain does not verify is shown all the same, since the
  // window is where the engineer looks into it, but under its mark, on top
  // of the list and of the comparison, and on every page of its report.
  const QString damage =
      content.breaks.empty() ? QString() : Q(JournalBreakText(content.breaks.front()));
  if (!damage.isEmpty()) {
    events_->addItem(damage);
    events_->item(0)->setForeground(QColor(176, 0, 0));
  }
  const std::set<std::string> finished = FinishedWriteStarts(content.records);
  for (const JournalRecord& r : content.records)
    events_->addItem(When(r.timeLocal) + "  " + Q(EventName(r)) + "  " + Summary(r, finished) +
                     Whose(r));
  report_->setEnabled(true);
  const std::vector<JournalSession> sessions = JournalSessions(content);
  const VisitComparison v = CompareWithPreviousVisit(sessions);
  QString mark = damage.isEmpty() ? QString() : Q(FirstBreakMark(content.breaks)) + ". ";
  if (const auto divergence = FindDivergence(sessions)) mark += Q(DivergenceText(*divergence));
  if (!v.ok) {
    since_->setText(mark + QStringLiteral("Прошлого визита этого прибора в журнале нет."));
  } else if (v.comparison.Equal()) {
    since_->setText(mark + QStringLiteral("Коэффициенты и запись калибровки, с записями в прибор, "
                                          "те же, что после прошлого визита (%1).")
                               .arg(When(v.previous.timeLocal)));
  } else {
    QString text =
        mark + QStringLiteral("С прошлого визита (%1) изменилось:").arg(When(v.previous.timeLocal));
    for (const FieldChange& change : v.comparison.changes)
      text += "\n" + Q(change.label) + ": " + Q(ChangeText(change));
    since_->setText(text);
  }
}

void JournalPanel::SaveReport() {
  if (file_.empty()) return;
  const JournalFileContent content =
      ReadMeterJournal(bench_.Journal().dir, bench_.LastReading().serial);
  const std::vector<JournalSession> sessions = JournalSessions(content);
  if (sessions.empty()) return;
  const ReportSeal seal = MakeReportSeal(sessions.back());
  const ServiceReport report = MakeServiceReport(sessions.back(), &content, &seal);
  const QString suggested = Q(report.number) + ".pdf";
  const QString path = chooseReportFile ? chooseReportFile(suggested)
                                        : QFileDialog::getSaveFileName(
                                              this, QStringLiteral("Сохранить отчёт"), suggested,
                                              QStringLiteral("PDF (*.pdf);;HTML (*.html *.htm)"));
  if (path.isEmpty()) return;
  const QString suffix = QFileInfo(path).suffix().toLower();
  QString error;
  bool ok = true;
  if (suffix == "html" || suffix == "htm") {
    std::ofstream out(PathFromUtf8(path.toStdString()), std::ios::binary | std::ios::trunc);
    out << report.html;
    out.flush();
    ok = static_cast<bool>(out);
    if (!ok) error = QStringLiteral("Не удалось записать файл %1").arg(path);
  } else {
    ok = WriteReportPdf(report, path, &error);
  }
  // Its sidecar beside it, from the file as written (ReportSeal.h).
  if (std::string why; ok && !WriteReportSidecar(path.toStdString(), seal, why)) {
    ok = false;
    error = Q(why);
  }
  status_->setText(ok ? QStringLiteral("Отчёт № %1 сохранён: %2").arg(Q(report.number), path)
                      : error);
}
