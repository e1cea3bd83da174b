// The time-outs dialog: one row of byte time-out, packet time-out and attempts
// for each of ten meter models. The engineer edits a working copy; only
// "Сохранить" puts the rows into the shared table and the settings file.
#pragma once

#include <QDialog>

#include "app/core/settings/Settings.h"

class QCheckBox;
class QListWidget;
class QPushButton;
class QSpinBox;

class TFormDelays : public QDialog {
  Q_OBJECT

 public:
  // settings and delays belong to the main window and outlive the dialog.
  TFormDelays(Settings& settings, TDelays& delays, QWidget* parent = nullptr);

  // The rows as edited since the dialog was last shown; rows 1..10.
  TDelays EditDelays{};

  QListWidget* LBDev = nullptr;
  QSpinBox* UDByte = nullptr;    // shown in Edit3
  QSpinBox* UDPacket = nullptr;  // shown in Edit1
  QSpinBox* UDRepeat = nullptr;  // shown in Edit2
  // [Line] Echo: the line returns each request; saved with the rows.
  QCheckBox* CBEcho = nullptr;
  QPushButton* BOk = nullptr;
  QPushButton* BCancel = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void LBDevClick();
  void Edit3Change(int position);
  void Edit1Change(int position);
  void Edit2Change(int position);
  void BOkClick();

  TDelayRec* SelectedRow();
  void ShowRow(int row);
  void CentreOnParent();

  Settings& settings_;
  TDelays& delays_;
};

// The models of rows 1..10, in list order.
extern const char* const kDelayRowNames[10];
