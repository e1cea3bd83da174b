// The service window: the guarded writes for the meter the main window read
// last. Its views ("Коэффициенты", "Пломба", "Часы" for meters with a clock,
// "Обмен" with the frames on the line, "Поверка" with the bench's runs, and
// those the host adds) each act through the Workbench, one operation at a
// time, on the meter of the last read where that read found it; each connects
// for its operation and closes the port after it. The line at the bottom says how the last operation ended.
// In inspector mode (the process holds it, InspectorMode.h) it has no control
// that writes: it reads, files snapshots and says at the top that writing is off.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <optional>

#include "EngineerDialog.h"
#include "WriteDialog.h"
#include "app/core/settings/InspectorMode.h"
#include "app/core/values/MeterSnapshot.h"
#include "app/journal/Workbench.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTableWidgetItem;
class QTimer;
class TBenchPanel;
class TTrafficPanel;

class TFrmService : public QWidget {
  Q_OBJECT

 public:
  // bench outlives the window.
  explicit TFrmService(Workbench& bench, QWidget* parent = nullptr);
  ~TFrmService() override;

  // A view of the host's, as one more tab.
  void AddView(QWidget* view, const QString& title);
  Workbench& Bench() const { return bench_; }
  // Takes up the meter of the main window's last read (or the hint to read one
  // first); the loaded values of another meter are dropped.
  void ShowMeter();
  // Answers the write confirmations by filling the dialog's fields instead of
  // showing it.
  void SetAnswering(GuiWriteView::AnswerFunc answer) { answering_ = std::move(answer); }
  // Answers the question for the engineer's name the same way.
  void SetAskingEngineer(EngineerAnswer answer) { askingEngineer_ = std::move(answer); }
  // The folder before-images are saved in: "before-images" beside the
  // settings file, as calibrate-cli keeps them.
  void SetImageDir(const QString& dir) { imageDir_ = dir; }
  const QString& ImageDir() const { return imageDir_; }

  void LoadClick();
  // Reads everything of the meter, as LoadClick does, and files it in the
  // journal as a snapshot.
  void SnapshotClick();
  void WriteCoefsClick();
  void ResetCoefsClick();
  void RestoreClick();
  // The restore of a before-image or snapshot file, as chosen in RestoreClick.
  void RestoreFrom(const QString& path);
  void WriteSealClick();
  void SetClockClick();

  // The coefficient cell of list (0 K, 1 Obr), channel 1..2, index 0..9.
  QTableWidgetItem* CoefCell(int list, int channel, int index) const;
  // The cell shows a value the meter may no longer hold: the read since
  // failed, or a write went out and the value was not read back. Greyed,
  // with the tooltip "значение устарело".
  static bool IsStale(const QTableWidgetItem* cell);
  const std::optional<WriteOutcome>& LastOutcome() const { return lastOutcome_; }
  QString StatusText() const;

  QLabel* LMeter = nullptr;
  QLabel* LInspector = nullptr;  // inspector mode only
  QTabWidget* Tabs = nullptr;
  QTableWidget* CoefTable = nullptr;
  QPushButton* BLoad = nullptr;
  QPushButton* BSnapshot = nullptr;
  QPushButton* BWriteCoefs = nullptr;
  QPushButton* BResetCoefs = nullptr;
  QPushButton* BRestore = nullptr;
  QLineEdit* ESeal = nullptr;
  QLabel* LSealNow = nullptr;
  QLabel* LSealShown = nullptr;
  QLabel* LSealBytes = nullptr;
  QPushButton* BWriteSeal = nullptr;
  QWidget* ClockView = nullptr;
  QLabel* LMeterTime = nullptr;
  QLabel* LComputerTime = nullptr;
  QLabel* LClockDiff = nullptr;
  QPushButton* BLoadClock = nullptr;
  QPushButton* BSetClock = nullptr;
  QPushButton* BAbout = nullptr;
  QLabel* LStatus = nullptr;
  TTrafficPanel* Traffic = nullptr;  // "Обмен": the frames on the line
  TBenchPanel* BenchView = nullptr;  // "Поверка": the bench's runs evaluated

 signals:
  // After every guarded write this window ran (verified, failed or refused),
  // with the operation's record: the host files it in the journal.
  void Written(WriteKind kind, const WriteOutcome& outcome);
  // After a snapshot this window filed in the journal itself, and after it
  // named the engineer in the journal's settings.
  void Journalled();

 private:
  QWidget* CreateCoefView();
  QWidget* CreateSealView();
  QWidget* CreateClockView();
  // The line that says writing is off, and why.
  QLabel* CreateInspectorLine();
  void SetStatus(const QString& text, bool failed = false);
  void ShowSnapshot(const MeterSnapshot& snapshot);
  // A snapshot just taken: shown, and whether it is the meter of the last
  // read said; false when it cannot be used.
  bool ShowTaken(const MeterSnapshot& snapshot);
  void SetCoefColumns(const std::array<bool, 2>& present);
  void CoefEdited(QTableWidgetItem* cell);
  void MarkStale(int list, int channel, int index);
  void MarkAllStale();
  void ShowSealPreview();
  void ShowClock(const ClockReading& clock);
  void Tick();
  // With the journal kept, a write is filed under the engineer's name: the
  // settings' or, asked once, the one given, kept in the settings. False
  // when there is none to file it under.
  bool HaveEngineer();
  // Runs one guarded write with the meter held; true when it ran.
  bool RunWrite(WriteRequest request);
  void ShowWritten(const WriteOutcome& outcome);

  Workbench& bench_;
  const InspectorMode inspector_;  // as the process held it when the window opened
  GuiWriteView::AnswerFunc answering_;
  EngineerAnswer askingEngineer_;
  QString imageDir_;
  QTimer* ticker_ = nullptr;
  std::optional<WriteOutcome> lastOutcome_;
  // Meter time minus computer time at the clock's last read, in seconds.
  std::optional<long long> clockOffset_;
  bool filling_ = false;  // the table is being filled, not edited
};
