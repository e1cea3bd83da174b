#include "AboutBox.h"

#include <QMessageBox>

#include "app/core/base/Version.h"
#include "app/core/settings/Settings.h"

QString AboutText() {
  return QString("Калибровочные коэффициенты\nCalibrate, версия %1\n\nФайл настроек:\n%2")
      .arg(kCalibrateVersion, QString::fromStdString(Settings::DefaultPath()));
}

void ShowAboutBox(QWidget* parent) {
  QMessageBox box(QMessageBox::Information, "О программе", AboutText(), QMessageBox::Ok, parent);
  box.setObjectName("AboutBox");
  box.exec();
}
