// "Поверка": the runs of a bench, typed or pasted as CSV, evaluated against a
// class of accuracy as they are typed: a table per point, a verdict, and the
// error curve against the limits of the class. With a meter read, it proposes
// the new K0 and Ku that would bring the points to zero under the meter's
// linear model; the proposal is shown, never written from here (a write goes
// through the "Коэффициенты" view and its confirmation).
#pragma once

#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "app/core/ops/BenchRuns.h"
#include "app/journal/Workbench.h"

class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QValueAxis;

class TBenchPanel : public QWidget {
  Q_OBJECT

 public:
  // Takes the own profiles from ProfilesIniPath(); the meter, for the
  // proposal, is that of bench's last read.
  explicit TBenchPanel(Workbench& bench, QWidget* parent = nullptr);

  // Replaces the own profiles by those of the file at path (a missing file
  // holds none); a fault of the file is shown under the editor.
  void LoadProfiles(const std::string& path);
  // Enables the proposal when there is a meter to propose for.
  void ShowMeter();
  // Evaluates the runs text against the chosen profile and shows it all.
  void Evaluate();
  void ProposeClick();
  const std::optional<BenchResult>& Result() const { return result_; }

  // The table's columns, in order.
  enum Column { CChannel, CFlow, CRuns, CMf, CError, CRepeat, CLimit, CAccept, CResult, CCount };

  QPlainTextEdit* ERuns = nullptr;
  QLabel* LError = nullptr;  // what is wrong with the runs, the flows or profiles.ini
  QComboBox* CBProfile = nullptr;
  QLineEdit* EQ1 = nullptr;
  QLineEdit* EQ2 = nullptr;
  QLineEdit* EQ3 = nullptr;
  QLineEdit* ERatio = nullptr;
  QLineEdit* EQp = nullptr;
  QTableWidget* Table = nullptr;
  QLabel* LVerdict = nullptr;
  QChartView* Chart = nullptr;
  QPushButton* BPropose = nullptr;
  QPlainTextEdit* EProposal = nullptr;

 private:
  QWidget* CreateProfileForm();
  ProfileResult ChosenProfile() const;
  void EnableFlows();
  void ShowFault(const QString& text);
  void FillTable(const BenchResult& result);
  void DrawChart(const BenchResult& result, const BenchProfile& profile);
  void ShowVerdict(const BenchResult& result);

  Workbench& bench_;
  QValueAxis* axisX_ = nullptr;
  QValueAxis* axisY_ = nullptr;
  std::vector<BenchProfile> own_;  // of profiles.ini
  QString profilesFault_;
  std::optional<BenchResult> result_;
};
