#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "GuiTestUtil.h"
#include "app/gui/read/DelaysForm.h"

namespace {

class DelaysTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    window = MakeWindow(ini.Path());
    window->show();
  }
  void TearDown() override {
    if (Dialog().isVisible()) Dialog().reject();
  }
  TFormDelays& Dialog() { return window->FormDelays(); }
  TDelays& Delays() { return window->Bench().GetCatalogue().delays; }
  void Show() {
    Dialog().show();
    QCoreApplication::processEvents();
  }
  void SelectRow(int row) { Dialog().LBDev->setCurrentRow(row); }
  // Types into the spin's edit, as the engineer does.
  static void Type(QSpinBox* spin, int value) {
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, QString::number(value));
  }
  static std::vector<int> Spins(TFormDelays& d) {
    return {d.UDByte->value(), d.UDPacket->value(), d.UDRepeat->value()};
  }

  std::unique_ptr<TFrmMain> window;
};

TEST_F(DelaysTest, HasItsCaptionSizeListAndSpinRanges) {
  TFormDelays& d = Dialog();
  EXPECT_EQ(d.windowTitle().toStdString(), "Задержки");
  // Drawn at 233 x 202 for a smaller font than any of Qt's: it only grows.
  EXPECT_GE(d.width(), 233);
  EXPECT_GE(d.height(), 202);
  EXPECT_EQ(d.minimumSize(), d.maximumSize());
  std::vector<std::string> items;
  for (int i = 0; i < d.LBDev->count(); ++i)
    items.push_back(d.LBDev->item(i)->text().toStdString());
  EXPECT_EQ(items, (std::vector<std::string>{"ЗФК-31", "ГДЗ-12.05", "ГДЗ-12.05С", "ГДЗ-12.07",
                                             "ГДЗ-12.07С", "ЗФК-31К", "ЗФК-3x", "ГДЗ-12.03С",
                                             "ЗФК31-1", "БРЦ-АКС"}));
  EXPECT_EQ(d.BOk->text().toStdString(), "Сохранить");
  EXPECT_TRUE(d.BOk->isDefault());
  EXPECT_EQ(d.BCancel->text().toStdString(), "Отмена");

  struct Range {
    QSpinBox* spin;
    int min, max, step;
  };
  for (const Range& r : {Range{d.UDByte, 50, 5000, 10}, Range{d.UDPacket, 100, 10000, 10},
                         Range{d.UDRepeat, 1, 100, 1}}) {
    SCOPED_TRACE(r.spin->objectName().toStdString());
    EXPECT_EQ(r.spin->minimum(), r.min);
    EXPECT_EQ(r.spin->maximum(), r.max);
    EXPECT_EQ(r.spin->singleStep(), r.step);
    r.spin->setValue(r.min);
    r.spin->stepUp();
    EXPECT_EQ(r.spin->value(), r.min + r.step);
    r.spin->setValue(r.max);
    r.spin->stepUp();
    EXPECT_EQ(r.spin->value(), r.max);
    r.spin->setValue(r.min);
    r.spin->stepDown();
    EXPECT_EQ(r.spin->value(), r.min);
  }
}

TEST_F(DelaysTest, EveryShowingStartsFromTheSavedTableOnTheFirstRow) {
  Delays()[1] = {200, 600, 7};
  Delays()[4] = {90, 900, 2};
  Show();
  EXPECT_EQ(Dialog().LBDev->currentRow(), 0);
  EXPECT_EQ(Spins(Dialog()), (std::vector<int>{200, 600, 7}));
  QTest::keyClick(Dialog().LBDev, Qt::Key_Down);  // the keyboard moves the row as well
  EXPECT_EQ(Dialog().LBDev->currentRow(), 1);
  EXPECT_EQ(Spins(Dialog()), (std::vector<int>{120, 350, 5}));
  SelectRow(3);
  EXPECT_EQ(Spins(Dialog()), (std::vector<int>{90, 900, 2}));
  Type(Dialog().UDByte, 1500);
  EXPECT_EQ(Dialog().EditDelays[4].NB, 1500);
  Dialog().reject();

  Show();
  EXPECT_EQ(Dialog().LBDev->currentRow(), 0) << "first row again";
  EXPECT_EQ(Spins(Dialog()), (std::vector<int>{200, 600, 7}));
  EXPECT_EQ(Dialog().EditDelays[4], (TDelayRec{90, 900, 2})) << "the cancelled edit is gone";
}

TEST_F(DelaysTest, SaveWritesAllTenRowsToTheTableAndTheFile) {
  Show();
  SelectRow(6);  // "ЗФК-3x", the row the ZFK-36 read uses
  Type(Dialog().UDByte, 250);
  Type(Dialog().UDPacket, 800);
  Type(Dialog().UDRepeat, 9);
  SelectRow(0);
  Dialog().UDRepeat->stepUp();
  QTest::mouseClick(Dialog().BOk, Qt::LeftButton);
  EXPECT_FALSE(Dialog().isVisible());
  EXPECT_EQ(Dialog().result(), QDialog::Accepted);

  EXPECT_EQ(Delays()[7], (TDelayRec{250, 800, 9}));
  EXPECT_EQ(Delays()[1], (TDelayRec{120, 350, 6}));
  Settings reread(ini.Path());
  const TDelays saved = reread.LoadDelays();
  for (int n = 1; n <= 10; ++n)
    EXPECT_EQ(saved[static_cast<size_t>(n)], Delays()[static_cast<size_t>(n)]) << n;
  // Unchanged rows are written as well.
  const std::string text = ini.Read();
  for (int n = 1; n <= 10; ++n)
    EXPECT_NE(text.find("[Device" + std::to_string(n) + "]"), std::string::npos) << n;
}

TEST_F(DelaysTest, EnterSavesFromTheSpinEdit) {
  Show();
  Type(Dialog().UDPacket, 1230);
  QTest::keyClick(Dialog().UDPacket, Qt::Key_Return);
  EXPECT_FALSE(Dialog().isVisible());
  EXPECT_EQ(Delays()[1].NP, 1230);
  EXPECT_EQ(Settings(ini.Path()).LoadDelays()[1].NP, 1230);
}

TEST_F(DelaysTest, CancelEscapeAndCloseBoxKeepTableAndFile) {
  const std::vector<std::pair<const char*, std::function<void(TFormDelays&)>>> ways = {
      {"Отмена", [](TFormDelays& d) { QTest::mouseClick(d.BCancel, Qt::LeftButton); }},
      {"Escape in the list", [](TFormDelays& d) { QTest::keyClick(d.LBDev, Qt::Key_Escape); }},
      {"Escape in a spin", [](TFormDelays& d) { QTest::keyClick(d.UDByte, Qt::Key_Escape); }},
      {"close box", [](TFormDelays& d) { d.close(); }},
  };
  const TDelays before = Delays();
  for (const auto& [name, cancel] : ways) {
    SCOPED_TRACE(name);
    Show();
    Type(Dialog().UDByte, 700);
    ASSERT_EQ(Dialog().EditDelays[1].NB, 700);
    cancel(Dialog());
    EXPECT_FALSE(Dialog().isVisible());
    EXPECT_EQ(Dialog().result(), QDialog::Rejected);
    EXPECT_EQ(Delays(), before);
    EXPECT_FALSE(ini.Exists());
  }
}

TEST_F(DelaysTest, StoredValuesOutsideTheSpinsAreSavedAsShown) {
  Delays()[1] = {20, 20000, 0};
  Delays()[2] = {65536 + 300, 350, 5};  // the spins take the low 16 bits
  Delays()[3] = {7, 7, 300};            // never shown: saved as stored
  Show();
  EXPECT_EQ(Spins(Dialog()), (std::vector<int>{50, 10000, 1}));
  SelectRow(1);
  EXPECT_EQ(Spins(Dialog()), (std::vector<int>{300, 350, 5}));
  QTest::mouseClick(Dialog().BOk, Qt::LeftButton);
  EXPECT_EQ(Delays()[1], (TDelayRec{50, 10000, 1}));
  EXPECT_EQ(Delays()[2], (TDelayRec{300, 350, 5}));
  EXPECT_EQ(Delays()[3], (TDelayRec{7, 7, 300}));
}

TEST_F(DelaysTest, SaveThatCannotWriteIsReportedAndKeepsTheDialogOpen) {
  auto stuck = MakeWindow(ini.Path() + ".missing-dir/Calibrate.ini");
  stuck->show();
  TFormDelays& d = stuck->FormDelays();
  d.show();
  Type(d.UDByte, 990);
  QTest::mouseClick(d.BOk, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.rfind("Unable to write to ", 0), 0u);
  EXPECT_TRUE(d.isVisible()) << "the edits are still there to retry or cancel";
  EXPECT_EQ(stuck->Bench().GetCatalogue().delays[1].NB, 990) << "the failing row reached the table";
  EXPECT_EQ(stuck->Bench().GetCatalogue().delays[2], TDelayRec{}) << "later rows did not";
  d.reject();
}

}  // namespace
