// "Текущие значения": the present flow of the meter the main window read last,
// sampled every so many milliseconds and drawn against time, the last few
// minutes in view, with the least, greatest and mean value of what is in view
// per channel. While it runs it holds the meter (the main window's read and
// the other views wait) and keeps the port open; "Пауза" gives both back. The
// recording, from the first "Пуск" on, can be saved as CSV. Nothing is
// written to the meter.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "app/core/ops/LiveValues.h"
#include "app/journal/Workbench.h"

class QChartView;
class QLabel;
class QLineSeries;
class QPushButton;
class QSpinBox;
class QTimer;
class QValueAxis;

class TLivePanel : public QWidget {
  Q_OBJECT

 public:
  // Samples the meter of bench's last read, where that read found it.
  explicit TLivePanel(Workbench& bench, QWidget* parent = nullptr);
  ~TLivePanel() override;  // pauses

  // Takes the meter, opens the port, identifies the meter and samples it at
  // once and then every interval. A meter held elsewhere, a port that does
  // not open or no meter found is said in LStatus, and nothing runs.
  void Start();
  // Stops sampling, closes the port and gives the meter back.
  void Pause();
  bool Running() const { return live_ != nullptr; }
  const std::vector<LiveSample>& Samples() const { return samples_; }
  // Saves the recording as CSV; asks for the file (exportPath, when set,
  // answers instead of the dialog). False when nothing was saved.
  bool Export();

  // The file the export writes to, in place of the save dialog.
  std::function<QString()> exportPath;

  // How much of the recording the chart shows.
  static constexpr uint64_t kVisibleMs = 5 * 60 * 1000;

  QSpinBox* EInterval = nullptr;  // ms
  QPushButton* BRun = nullptr;    // "Пуск" / "Пауза"
  QPushButton* BExport = nullptr;
  QChartView* Chart = nullptr;
  std::array<QLineSeries*, 2> Series{};
  std::array<QLabel*, 2> LStats{};
  QLabel* LStatus = nullptr;

 protected:
  // Leaving the view (another tab, the window closed) pauses the polling and
  // gives the meter back; a minimised window keeps polling.
  void hideEvent(QHideEvent* event) override;

 private:
  void Sample();
  void ShowSpan(uint64_t nowMs);
  bool WriteCsv(const QString& path);

  Workbench& bench_;
  std::unique_ptr<Workbench::Operation> hold_;
  std::unique_ptr<TLiveValues> live_;
  QTimer* timer_ = nullptr;
  QValueAxis* axisX_ = nullptr;
  QValueAxis* axisY_ = nullptr;
  std::vector<LiveSample> samples_;
  QString meter_;          // "ZFK-31", as Start found it
  uint64_t originMs_ = 0;  // the first Start: time 0 of the recording
  uint64_t offsetMs_ = 0;  // from time 0 to the Start of this run
  bool sampling_ = false;
};
