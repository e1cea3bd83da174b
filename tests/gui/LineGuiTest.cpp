// The window's side of the line: the reason of a failed open in the box's
// detail, the echo check box of the time-outs dialog, the adapters named in
// the port list.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "GuiTestUtil.h"
#include "app/gui/read/DelaysForm.h"

namespace {

TEST_F(WindowTest, FailedOpenKeepsItsTextAndGivesTheReasonBelow) {
  ini.Write(PortMap(26, "/nonexistent/calibrate-test-tty"));
  auto window = std::make_unique<TFrmMain>(MakeBench(ini.Path()));
  window->SelectPortForRun(26);
  window->show();
  std::string text, detail;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      text = box->text().toStdString();
      detail = box->informativeText().toStdString();
      box->button(QMessageBox::Ok)->click();
    }
  });
  poll.start(5);
  window->BRefreshClick();
  poll.stop();
  EXPECT_EQ(text, "Не удалось открыть порт COM26");
  // Our own words first, the system's after them.
  EXPECT_EQ(detail.rfind("Порта /nonexistent/calibrate-test-tty нет в системе.\nСистема: ", 0), 0u)
      << detail;
}

TEST_F(WindowTest, EchoCheckBoxIsSavedAndUsedByTheRead) {
  for (bool on : {true, false}) {
    auto window = MakeWindow(ini.Path());
    window->show();
    EXPECT_EQ(window->Bench().Port().echo, !on) << "as saved by the last round";
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<TFormDelays*>(QApplication::activeModalWidget());
      if (!dialog) return;
      EXPECT_EQ(dialog->CBEcho->isChecked(), !on);
      dialog->CBEcho->setChecked(on);
      dialog->BOk->click();
    });
    QTest::mouseClick(window->BDelays, Qt::LeftButton);
    EXPECT_EQ(window->Bench().Port().echo, on);
    EXPECT_EQ(Settings(ini.Path()).EchoSuppression(), on);
  }
}

TEST_F(WindowTest, PortItemsNameTheirAdapter) {
  ini.Write(PortMap(5, "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"));
  auto window = MakeWindow(ini.Path());
  window->ShowPortAdapters({{"/dev/ttyUSB0",
                             "0403:6001 FTDI FT232R USB UART",
                             {},
                             "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"},
                            {lum::DefaultSerialPortName(2), "", {}, ""}});
  const auto tip = [&](int n) {
    return window->CBPort->itemData(n - 1, Qt::ToolTipRole).toString().toStdString();
  };
  EXPECT_EQ(tip(5), "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0\n0403:6001 FTDI FT232R USB UART");
  EXPECT_EQ(tip(2), lum::DefaultSerialPortName(2));
}

}  // namespace
