// The service window's "Журнал" view: whether the journal is kept and who the
// engineer is (saved to the settings file at once), the events of the meter
// read last, newest first, the other workstations' among them, whether its
// coefficients and calibration record changed since the previous visit, and
// the report of the present session as a PDF or an HTML page; and the sync
// with the department's record.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "app/journal/Workbench.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class SyncBar;

class JournalPanel : public QWidget {
  Q_OBJECT

 public:
  // Shows the journal of bench's last read.
  explicit JournalPanel(Workbench& bench, QWidget* parent = nullptr);

  // Reads the settings and the journal again: the host calls it after every
  // read and write.
  void Refresh();

  // Where "Отчёт…" saves, in place of the file dialog (tests); an empty
  // answer saves nothing.
  std::function<QString(const QString& suggested)> chooseReportFile;

  QCheckBox* EnabledBox() const { return enabled_; }
  QLineEdit* EngineerEdit() const { return engineer_; }
  QListWidget* Events() const { return events_; }
  QLabel* SinceLastVisit() const { return since_; }
  QLabel* Status() const { return status_; }
  QPushButton* ReportButton() const { return report_; }
  // "Синхронизировать" with the department's record; null in a build without it.
  SyncBar* Sync() const { return sync_; }

 private:
  void SaveSettings();
  void SaveReport();

  Workbench& bench_;
  QCheckBox* enabled_;
  QLineEdit* engineer_;
  QListWidget* events_;
  QLabel* since_;
  QLabel* status_;
  QPushButton* report_;
  SyncBar* sync_ = nullptr;
  std::string file_;  // the journal file of the meter read last; empty: none
};
