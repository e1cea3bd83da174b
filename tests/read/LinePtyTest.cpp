// A port that does not open, for real: a missing device path and a
// pseudo-terminal another port holds. The read keeps the system's reason and
// says what to do.
#include <gtest/gtest.h>
#include <unistd.h>

#include "ReadTestUtil.h"
#include "support/PtyPair.h"

namespace {

using namespace readtest;

TEST(LinePty, OpenFailuresAreExplained) {
  PtyPair pty;
  TlumComPort holder;  // the other program
  BindSerialPortPath(kPort - 1, pty.SlavePath());
  holder.SetComPort(kPort - 1);
  ASSERT_TRUE(holder.Open());

  const struct {
    std::string path;
    PortOpenFailure kind;
    std::string says;
  } cases[] = {
      {"/nonexistent/ttyUSB7", PortOpenFailure::NotFound, "нет в системе"},
      {pty.SlavePath(), PortOpenFailure::Busy, "процесс " + std::to_string(getpid())},
  };
  for (const auto& c : cases) {
    BindSerialPortPath(kPort, c.path);
    TMeterRead read;
    RecordingView view;
    const MeterReading r = read.BRefreshClick(view, RequestFor());
    EXPECT_EQ(r.result, ReadResult::PortError);
    EXPECT_EQ(read.lumComPort.OpenError().kind, c.kind);
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_EQ(view.errors[0], "Не удалось открыть порт COM41");
    EXPECT_EQ(view.details[0], r.portErrorDetail);
    EXPECT_NE(r.portErrorDetail.find(c.says), std::string::npos) << r.portErrorDetail;
    EXPECT_NE(r.portErrorDetail.find("Система: "), std::string::npos);
  }
  UnbindSerialPort(kPort);
  UnbindSerialPort(kPort - 1);
}

}  // namespace
