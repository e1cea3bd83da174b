#include <QTimer>

#include "GuiTestUtil.h"
#include "app/core/base/Version.h"
#include "app/gui/AboutBox.h"

namespace {

// The box opens modally, names the version of this build and the settings
// file in use, and closes with its button.
TEST(AboutBoxTest, ShowsTheVersionAndClosesWithOk) {
  TestApp();
  QString title, text;
  bool found = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || box->objectName() != "AboutBox") return;
    found = true;
    title = box->windowTitle();
    text = box->text();
    box->button(QMessageBox::Ok)->click();
  });
  ShowAboutBox(nullptr);
  ASSERT_TRUE(found);
  EXPECT_EQ(title.toStdString(), "О программе");
  EXPECT_TRUE(text.contains(QString("версия ") + kCalibrateVersion)) << text.toStdString();
  EXPECT_TRUE(text.contains(QString::fromStdString(Settings::DefaultPath()))) << text.toStdString();
}

}  // namespace
