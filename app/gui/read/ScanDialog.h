// "Поиск приборов": runs the bus scan on the main window's port, shows how far
// it got and what it found, can be stopped at any moment, and hands back the
// row the engineer chose. The scan runs on the GUI thread and lets the event
// loop run between its probes, so the window stays live and "Стоп" is heard.
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "app/core/ops/BusScan.h"

class QLabel;
class QPushButton;
class QTableWidget;

class TScanDialog : public QDialog, private ScanListener {
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

  ScanRequest request;
  QLabel* LProgress = nullptr;
  QTableWidget* Table = nullptr;
  QPushButton* BStart = nullptr;
  QPushButton* BStop = nullptr;
  QPushButton* BChoose = nullptr;

 private:
  void OnProgress(const ScanProgress& p) override;
  void OnFound(const FoundMeter& m) override;
  bool Cancelled() override;

  TBusScan scan_;
  ScanOutcome outcome_;
  std::vector<FoundMeter> rows_;
  bool cancel_ = false;
  bool running_ = false;
};
