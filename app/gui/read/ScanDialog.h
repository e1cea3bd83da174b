// "Поиск приборов": runs the bus scan on the main window's port over the
// addresses, speeds and protocols the engineer ticks, shows how far it got
// and what it found, can be stopped at any moment, and hands back the row the
// engineer chose (or double-clicked). Its table goes to a CSV file; "Обойти
// все" runs the route (Route.h) into a folder, with its progress and "Стоп". The scan runs on the
// GUI thread and lets the event loop run between its probes, so the window stays live and "Стоп" is
// heard.
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include <QString>
#include <functional>

#include "app/core/ops/BusScan.h"
#include "app/core/ops/Route.h"

class QCheckBox;
class QLabel;
class QSpinBox;
class QPushButton;
class QTableWidget;

class TScanDialog : public QDialog, private RouteListener {
 public:
  TScanDialog(const ScanRequest& request, const std::vector<TVerRecord>& verTable,
              QWidget* parent = nullptr);

  // Runs the scan to its end or until stopped.
  void Start();
  void Stop() { cancel_ = true; }
  bool Running() const { return running_; }
  const ScanOutcome& Outcome() const { return outcome_; }
  // The meter of the selected row; nothing for an address conflict.
  std::optional<FoundMeter> Chosen() const;
  // The table as CSV, its column names first. False when it cannot be written.
  bool ExportCsv(const QString& path) const;
  // Scans and visits every meter found into RouteDir (asked for when empty).
  void StartRoute();
  const RouteOutcome& RouteDone() const { return route_; }

  // The folder of "Обойти все"; empty: asked each time.
  QString RouteDir;
  // What a visit leaves (the window's journal and report); by default the
  // snapshot's JSON.
  std::function<RouteVisit(const MeterSnapshot&)> OnRecord = UnjournalledVisit;
  Catalogue catalogue;

  ScanRequest request;
  QLabel* LProgress = nullptr;
  QTableWidget* Table = nullptr;
  QPushButton* BStart = nullptr;
  QPushButton* BStop = nullptr;
  QPushButton* BChoose = nullptr;
  QPushButton* BExport = nullptr;
  QPushButton* BRoute = nullptr;
  QSpinBox* SFrom = nullptr;
  QSpinBox* STo = nullptr;
  QCheckBox* C9600 = nullptr;
  QCheckBox* C19200 = nullptr;
  QCheckBox* C3x = nullptr;
  QCheckBox* CModBus = nullptr;

 private:
  void OnProgress(const ScanProgress& p) override;
  void OnFound(const FoundMeter& m) override;
  bool Cancelled() override;
  void OnMeter(const RouteProgress& p) override;
  // The request as the controls set it; false, said in LProgress, when
  // they leave nothing to scan.
  bool TakeControls();
  void SetRunning(bool running);

  TBusScan scan_;
  ScanOutcome outcome_;
  RouteOutcome route_;
  std::vector<FoundMeter> rows_;
  bool cancel_ = false;
  bool running_ = false;
};
