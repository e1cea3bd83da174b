// The program's window: choose a port, a speed and the meter's address, press
// "Прочитать", and read the meter's serial number, calibration coefficients
// and calibration record. The read itself lives in TMeterRead; the window is
// its view. What the window chose and what the read found go to the
// Workbench, which the service window shares.
#pragma once

#include <QMessageBox>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/core/line/PortList.h"
#include "app/core/meter/MeterRead.h"
#include "app/core/ops/BusScan.h"
#include "app/core/settings/Settings.h"
#include "app/journal/Workbench.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;
class TFormDelays;
class JournalPanel;
class TFrmService;

class TFrmMain : public QWidget, public MeterReadView {
  Q_OBJECT

 public:
  // Shows a message box; tests put their own in its place.
  using MessageBoxFunc =
      std::function<void(QMessageBox::Icon icon, const QString& caption, const QString& text)>;

  // Works on the settings file, catalogue and journal of bench, which
  // outlives the window; creates the time-outs dialog.
  explicit TFrmMain(Workbench& bench, QWidget* parent = nullptr);
  ~TFrmMain() override;

  void SetMessageBox(MessageBoxFunc show) { messageBox_ = std::move(show); }
  // The note left when a read could not be journalled; null until then.
  QMessageBox* JournalNote() const { return journalNote_; }
  Workbench& Bench() { return bench_; }
  Settings& IniSettings() { return bench_.GetSettings(); }
  TFormDelays& FormDelays() { return *formDelays_; }
  QLineEdit* Field(ReadField field) const;
  // Selects COM<number> for this run only, without saving it; 0: none.
  void SelectPortForRun(int number);
  // Adds a device of this run only (the demo's virtual meter) to the port
  // list under shownName and selects it; the saved port stays as it is.
  void SelectDeviceForRun(const std::string& device, const QString& shownName);
  // The chosen port, speed and address, as every read and search uses them.
  PortSpec SelectedPort();

  void BRefreshClick();
  // How the last read ended.
  const MeterReading& LastReading() const { return bench_.LastReading(); }
  void ELicNoDblClick();
  void BDelaysClick();
  // Opens "Поиск приборов" on the chosen port; its chosen row sets port,
  // speed and address.
  void BScanClick();
  void ApplyScanChoice(const FoundMeter& meter);
  // Opens the service window for the meter of the last read, or raises it.
  void BServiceClick();
  // The service window once opened; null before.
  TFrmService* ServiceWindow() const { return service_; }
  void Button2Click();

  // MeterReadView
  void SetFieldText(ReadField field, const std::string& text) override;
  void ShowError(const std::string& message, const std::string& detail = {}) override;
  // Each CBPort item's tooltip: the device it opens and, for a USB adapter
  // among devices, what the adapter says about itself.
  void ShowPortAdapters(const std::vector<SerialDeviceInfo>& devices);
  // The detail part of the last message box (what the read saw, what to check).
  const QString& LastMessageDetail() const { return lastDetail_; }
  void SetVersionControlsVisible(bool visible) override;
  void SetDeviceCaption(const std::string& caption) override;
  void SetRefreshEnabled(bool enabled) override;
  void ProcessMessages() override;

  QComboBox* CBPort = nullptr;
  QComboBox* CBBaud = nullptr;
  QSpinBox* UDNetAddr = nullptr;  // shown in Edit1
  QPushButton* BRefresh = nullptr;
  QToolButton* BScan = nullptr;
  QGroupBox* GBDevice = nullptr;
  QLineEdit* ELicNo = nullptr;
  QLineEdit* Ek00 = nullptr;
  QLineEdit* Ek10 = nullptr;
  QLineEdit* Ek01 = nullptr;
  QLineEdit* Ek11 = nullptr;
  QLabel* LVer = nullptr;
  QLineEdit* EVer = nullptr;
  QLabel* LCRC = nullptr;
  QLineEdit* ECRC = nullptr;
  QLineEdit* EClbLic = nullptr;
  QLineEdit* EClbDate = nullptr;
  QToolButton* BDelays = nullptr;
  QPushButton* BService = nullptr;
  QPushButton* Button2 = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ShowFirmwareSource(FirmwareSource source);
  void CreateControls();
  QWidget* CreateConnectionGroup();
  QWidget* CreateDeviceGroup();
  QWidget* CreateCalibrationGroup();
  QLineEdit* CreateField(const char* name, QWidget* parent);
  void FormCreate();
  void CBPortChange(int index);
  void CBBaudChange(int index);
  void ShowMessage(QMessageBox::Icon icon, const QString& caption, const QString& text,
                   const QString& detail = {});
  void CentreOnScreen();
  void JournalTheRead();
  void ShowJournalNote(const QString& what, const std::string& error);
  // An operation took the meter or gave it back: the read and the search
  // wait while one runs.
  void ShowBusy(bool busy);
  // Every guarded write the service window ran, verified, failed or refused,
  // arrives here with its record: the place where the journal files it.
  void ServiceWritten(WriteKind kind, const WriteOutcome& outcome);

  Workbench& bench_;
  TMeterRead read_;
  TFormDelays* formDelays_ = nullptr;
  MessageBoxFunc messageBox_;
  QString lastDetail_;
  TFrmService* service_ = nullptr;
  JournalPanel* journalPanel_ = nullptr;  // in service_
  bool centred_ = false;
  QMessageBox* journalNote_ = nullptr;
};

// The character the user's locale puts between whole and fraction, when it is
// a single ASCII character; '.' otherwise.
char LocaleDecimalSeparator();
