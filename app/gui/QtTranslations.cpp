#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QString InstallQtTranslations(QCoreApplication& app) {
  // The window is Russian whatever the system's language, and so are Qt's
  // texts; numbers and dates keep the system's locale (the main window's
  // decimal separator follows it).
  const QStringList folders = {QCoreApplication::applicationDirPath() + "/translations",
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
  auto* translator = new QTranslator(&app);
  for (const QString& folder : folders) {
    if (translator->load("qtbase_ru", folder)) {
      QCoreApplication::installTranslator(translator);
      return translator->filePath();
    }
  }
  delete translator;
  return {};
}
