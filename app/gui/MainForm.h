// The program's window: choose a port, a speed and the meter's address, press
// "Прочитать", and read the meter's serial number, calibration coefficients
// and calibration record. The read itself lives in TMeterRead; the window is
// its view.
#pragma once

#include <QMessageBox>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/core/BusScan.h"
#include "app/core/MeterRead.h"
#include "app/core/PortList.h"
#include "app/core/Settings.h"
#include "app/gui/ServiceContext.h"

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

  // Opens the settings file at iniPath (Calibrate.ini beside the program when
  // empty) and creates the time-outs dialog.
  explicit TFrmMain(const std::string& iniPath = {}, QWidget* parent = nullptr);
  ~TFrmMain() override;

  void SetMessageBox(MessageBoxFunc show) { messageBox_ = std::move(show); }
  // Reads of this run are of a virtual meter: the journal marks them so.
  void SetDemoRun(bool demo) { demoRun_ = demo; }
  // The note left when a read could not be journalled; null until then.
  QMessageBox* JournalNote() const { return journalNote_; }
  TMeterRead& Reader() { return read_; }
  Settings& IniSettings() { return *settings_; }
  TFormDelays& FormDelays() { return *formDelays_; }
  QLineEdit* Field(ReadField field) const;
  // Selects a port for this run only, without saving it.
  void SelectPortForRun(int number);

  void BRefreshClick();
  // How the last read ended.
  const MeterReading& LastReading() const { return lastReading_; }
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
  // What the service window works through.
  ServiceContext MakeServiceContext();
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
  void FormCreate(const std::string& iniPath);
  void CBPortChange(int index);
  void CBBaudChange(int index);
  void ShowMessage(QMessageBox::Icon icon, const QString& caption, const QString& text,
                   const QString& detail = {});
  void CentreOnScreen();
  void JournalTheRead();
  void ShowJournalNote(const QString& what, const std::string& error);
  bool AcquireMeter();
  void ReleaseMeter();
  void SaveJournalSettings(const JournalSettings& journal);
  // Every guarded write the service window ran, verified, failed or refused,
  // arrives here with its record: the place where the journal files it.
  void ServiceWritten(WriteKind kind, const WriteOutcome& outcome);

  TMeterRead read_;
  std::unique_ptr<Settings> settings_;
  TFormDelays* formDelays_ = nullptr;
  MessageBoxFunc messageBox_;
  QString lastDetail_;
  MeterReading lastReading_;
  ReadRequest lastRequest_;  // where the last read went
  bool reading_ = false;
  bool serviceBusy_ = false;  // a service operation holds the meter
  TFrmService* service_ = nullptr;
  JournalPanel* journalPanel_ = nullptr;  // in service_
  bool centred_ = false;
  bool demoRun_ = false;
  QMessageBox* journalNote_ = nullptr;
};

// The character the user's locale puts between whole and fraction, when it is
// a single ASCII character; '.' otherwise.
char LocaleDecimalSeparator();
