#include "SyncBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include "app/department/DepartmentStore.h"
#include "app/department/DepartmentSync.h"
#include "app/journal/Workstation.h"

namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// The result in a few words for the line beside the button; the whole report
// is its tool tip.
QString Brief(const SyncReport& r) {
  if (!r.ok) return QStringLiteral("Не завершено: ") + Q(r.error);
  return QStringLiteral("Отправлено: %1, получено: %2, расхождений: %3")
      .arg(r.sent)
      .arg(r.received)
      .arg(r.divergent.size());
}

}  // namespace

SyncBar::SyncBar(Workbench& bench, QWidget* parent)
    : QWidget(parent),
      bench_(bench),
      button_(new QPushButton(QStringLiteral("Синхронизировать"))),
      progress_(new QProgressBar),
      result_(new QLabel) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(button_);
  layout->addWidget(progress_);
  layout->addWidget(result_, 1);
  progress_->hide();
  result_->setWordWrap(true);
  button_->setToolTip(QStringLiteral("Обменяться событиями журнала с сервером отдела"));
  connect(button_, &QPushButton::clicked, this, [this] { Start(); });
}

SyncBar::~SyncBar() {
  if (worker_.joinable()) worker_.join();
}

void SyncBar::Start() {
  if (Running()) return;
  if (worker_.joinable()) worker_.join();
  IniFile& ini = bench_.GetSettings().Ini();
  const std::string url = ini.ReadString(kDepartmentSection, "Database", "");
  SyncRequest request;
  request.dir = bench_.Journal().dir;
  request.site = ini.ReadString(kDepartmentSection, "Site", "");
  request.workstation = EnsureWorkstationId(ini);
  if (url.empty() || request.site.empty()) {
    Finish(QStringLiteral("Сервер отдела не задан: [Department] Database и Site в ") +
               Q(bench_.SettingsPath()),
           false);
    return;
  }
  running_ = true;
  button_->setEnabled(false);
  progress_->setRange(0, 0);
  progress_->show();
  result_->setText(QStringLiteral("Синхронизация…"));
  const QPointer<SyncBar> self(this);
  worker_ = std::thread([self, url, request] {
    std::string error;
    const auto store = DepartmentStore::Open(url, error);
    SyncReport report;
    report.error = error;
    if (store)
      report = SyncJournal(*store, request, [self](const char* phase, size_t done, size_t total) {
        const QString what = QString::fromUtf8(phase);
        QMetaObject::invokeMethod(
            self,
            [self, what, done, total] {
              if (!self) return;
              self->progress_->setRange(0, static_cast<int>(total));
              self->progress_->setValue(static_cast<int>(done));
              self->progress_->setFormat(what + " %v из %m");
            },
            Qt::QueuedConnection);
      });
    const QString brief = Brief(report), whole = Q(SyncReportText(report));
    const bool ok = report.ok && report.refused.empty() && report.damaged.empty();
    QMetaObject::invokeMethod(
        self,
        [self, brief, whole, ok] {
          if (!self) return;
          self->result_->setToolTip(whole);
          self->Finish(brief, ok);
        },
        Qt::QueuedConnection);
  });
}

void SyncBar::Finish(const QString& text, bool ok) {
  running_ = false;
  button_->setEnabled(true);
  progress_->hide();
  result_->setText(text);
  result_->setStyleSheet(ok ? QString() : QStringLiteral("color: #b00000;"));
  emit Synced();
}
