#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "GuiTestUtil.h"
#include "app/gui/QtTranslations.h"

namespace {

// Qt's own file dialog and the editors' context menu speak Russian once the
// translations are installed (qt6-translations-l10n is among the packages
// the program needs). CALIBRATE_SHOT_DIR, when set, receives a picture of
// the dialog to look at.
TEST(QtTranslationsTest, StandardDialogsAreRussian) {
  QApplication& app = TestApp();
  ASSERT_FALSE(InstallQtTranslations(app).isEmpty()) << "qtbase_ru.qm not found";

  QFileDialog dialog(nullptr, "Сохранить отчёт");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.show();
  QCoreApplication::processEvents();
  QStringList buttons;
  for (auto* b : dialog.findChildren<QPushButton*>())
    buttons << b->text();
  EXPECT_TRUE(buttons.contains("&Сохранить")) << buttons.join("|").toStdString();
  EXPECT_TRUE(buttons.contains("Отмена")) << buttons.join("|").toStdString();
  EXPECT_FALSE(buttons.contains("Cancel")) << buttons.join("|").toStdString();
  if (const QByteArray dir = qgetenv("CALIBRATE_SHOT_DIR"); !dir.isEmpty())
    dialog.grab().save(QString::fromUtf8(dir) + "/file-dialog.png");

  QLineEdit edit;
  std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
  QStringList items;
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) items << a->text();
  EXPECT_TRUE(items.join("|").contains("Копировать")) << items.join("|").toStdString();
}

}  // namespace
