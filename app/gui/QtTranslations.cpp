#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

QString InstallQtTranslations(QCoreApplication& app) {
  // The window is Russian whatever the system's language; Qt's texts follow.
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
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
