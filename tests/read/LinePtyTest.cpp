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
  holder.SetDevice(pty.SlavePath());
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
    PortSpec port = PortFor();
    port.device = c.path;  // COM41 as the engineer chose it, mapped to the path
    TMeterRead read;
    RecordingView view;
    const MeterReading r = read.BRefreshClick(view, port);
    EXPECT_EQ(r.result, ReadResult::PortError);
    ASSERT_NE(read.LastConnection(), nullptr);
    EXPECT_EQ(read.LastConnection()->Port().OpenError().kind, c.kind);
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_EQ(view.errors[0], "Не удалось открыть порт COM41");
    EXPECT_EQ(view.details[0], r.portErrorDetail);
    EXPECT_NE(r.portErrorDetail.find(c.says), std::string::npos) << r.portErrorDetail;
    EXPECT_NE(r.portErrorDetail.find("Система: "), std::string::npos);
  }
}

}  // namespace
