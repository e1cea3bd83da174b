// The guarded write obeys inspector mode whichever front end asks: with the
// mode held by the process, or with no more than the installation's flag
// where the program looks, a confirmed request is refused before the port is
// opened (the meter hears nothing) and, on a meter already connected, before
// anything is asked of it. Without the mode the same request writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/core/ops/GuardedWrite.h"
#include "app/core/settings/InspectorMode.h"
#include "sim/PtyMeterServer.h"
#include "support/TempDir.h"

namespace {

// Confirms whatever it is shown, as an engineer who typed the right digits.
class YesView : public WriteView {
 public:
  void ShowDifference(const Confirmation&) override {}
  Answer Confirm(const std::string&) override { return Answer::Write; }
  bool WarningsAccepted() const override { return true; }
  void ShowMessage(const std::string& message) override { shown = message; }
  std::string shown;
};

TEST(InspectorGuard, RefusesBeforeConnectingAndBeforeWriting) {
  metersim::MeterOptions line;
  line.baud = 19200;
  auto meter = std::make_shared<metersim::VirtualMeter>(metersim::MeterModel::Zfk31, 3, line);
  metersim::PtyMeterServer server(meter);
  ASSERT_TRUE(server.Start()) << server.ErrorText();
  const PortSpec spec{server.DevicePath(), "pty", 19200, 3, false};
  const std::string dir = MakeTempDir("inspector-guard");
  std::ofstream(dir + "/" + kInspectorFlagName) << "";
  InspectorMode byCommandLine, bySettings;
  byCommandLine.commandLine = true;
  bySettings.settingsFile = "Calibrate.ini";
  struct Case {
    const char* name;
    InspectorMode held;
    bool flag;  // the installation's flag in a folder the program looks in
    const char* says;
  } const cases[] = {
      {"off", {}, false, ""},
      {"held: command line", byCommandLine, false, "(задан параметр --inspector)"},
      {"held: settings", bySettings, false, "Calibrate.ini задано [Service] Writes=0"},
      {"the installation's flag alone", {}, true, "администратор установки создал файл"},
  };
  for (const Case& c : cases)
    for (const bool connected : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (connected ? ", connected" : ", by PortSpec"));
      HoldInspectorMode(c.held);
      if (c.flag) setenv(kInspectorDirVariable, dir.c_str(), 1);
      WriteRequest request;
      request.kind = WriteKind::Clock;
      request.saveDir = dir + "/before-images";
      YesView view;
      Connected link;
      if (connected) {
        link = Connect(spec, Catalogue{});
        ASSERT_EQ(link.result, ConnectResult::Ok) << link.message;
      }
      const size_t requests = meter->Requests().size(), writes = meter->WriteCount();
      const WriteOutcome out = connected ? RunGuardedWrite(*link.meter, request, view)
                                         : RunGuardedWrite(spec, Catalogue{}, request, view);
      unsetenv(kInspectorDirVariable);
      HoldInspectorMode({});
      if (*c.says == 0) {
        EXPECT_EQ(out.status, WriteStatus::Verified) << out.reason;
        EXPECT_GT(meter->WriteCount(), writes);
        continue;
      }
      EXPECT_EQ(out.status, WriteStatus::Refused);
      EXPECT_EQ(out.reason.rfind("режим проверки: запись в прибор запрещена (", 0), 0u)
          << out.reason;
      EXPECT_NE(out.reason.find(c.says), std::string::npos) << out.reason;
      EXPECT_EQ(view.shown, out.reason);
      EXPECT_EQ(meter->Requests().size(), requests);
      EXPECT_EQ(meter->WriteCount(), writes);
      EXPECT_TRUE(out.imagePath.empty());
    }
  std::filesystem::remove_all(dir);
}

}  // namespace
