// Qt's own dialogs and menus (file dialogs, the line editors' context menu,
// the standard buttons) in Russian, from the translations Qt ships.
#pragma once

#include <QString>

class QCoreApplication;

// Installs qtbase_ru, looked for in a "translations" folder beside the
// program (the Windows zip and a portable copy carry one), then in Qt's own
// translations folder. Returns the file it loaded, or an empty string when
// none was found: the dialogs then speak English, which is no reason not to
// start.
QString InstallQtTranslations(QCoreApplication& app);
