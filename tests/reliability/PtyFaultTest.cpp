// Faults over real pseudo-terminals, through the termios layer: a subset of
// the matrix (the line hanging up is only real here), a device that cannot be
// opened, and a meter that goes away between reads. Real time, with fewer
// attempts than the window makes so that each case stays near a second.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "MatrixDoc.h"
#include "ReadRig.h"
#include "sim/MeterDevice.h"
#include "sim/PtyMeterServer.h"
#include "support/PtyPair.h"
#include "support/ScriptedLine.h"
#include "support/VirtualTime.h"

namespace {

using metersim::FaultKind;
using metersim::MeterModel;
using namespace rel;

// What the engineer chose: the messages name it, whatever device it is.
constexpr const char* kPortText = "COM22";

// Scheduling on a loaded machine: a real read may overrun its bound by this.
double RealTimeSlack(double boundMs) {
  return boundMs * 0.25 + 300;
}

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "calibrate-rel-" + name + "-" + std::to_string(getpid());
}

// Generous for a pseudo-terminal on a loaded machine, where a reply's bytes
// may come tens of milliseconds apart; fewer attempts than the window makes,
// so that each case stays near a second: 3x identification once, every other
// request twice.
void PtyTimeouts(TMeterRead& read) {
  read.GetCatalogue().delays[1] = {100, 300, 1};
  read.GetCatalogue().delays[7] = {100, 300, 2};
  read.Line().Gdz1207s().SetPacketTimeout(300);
  read.Line().Gdz1207s().SetByteTimeout(100);
  read.Line().Gdz1207s().SetRepeatCount(2);
  read.Line().Gdz1208().SetPacketTimeout(300);
  read.Line().Gdz1208().SetByteTimeout(100);
  read.Line().Gdz1208().SetRepeatCount(2);
}

// A meter on a pseudo-terminal behind a link, the device the reads open;
// after a hang-up the server points the link at its new line.
struct PtyMeter {
  explicit PtyMeter(MeterModel model) : link(TempPath("link")) {
    metersim::MeterOptions options;
    options.baud = 19200;
    meter = std::make_shared<metersim::VirtualMeter>(model, kMeterAddress, options);
    server = std::make_unique<metersim::PtyMeterServer>(meter);
    started = server->Start(link);
  }
  ~PtyMeter() { server->Stop(); }
  ReadRun Read(TMeterRead& read) const { return RunRead(read, link, kPortText); }
  bool WaitForHangUps(int n) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (server->HangUps() < n && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return server->HangUps() >= n;
  }

  std::string link;
  std::shared_ptr<metersim::VirtualMeter> meter;
  std::unique_ptr<metersim::PtyMeterServer> server;
  bool started = false;
};

// What a clean read of the model shows, from an in-process meter on virtual
// time: the screen does not depend on the transport.
RecordingView CleanScreen(MeterModel model) {
  ScopedVirtualTime time;
  const ScopedSerialDevice device{
      "reliability-clean-meter",
      metersim::MeterDeviceFactory(std::make_shared<metersim::VirtualMeter>(model, kMeterAddress))};
  TMeterRead read;
  return RunRead(read, device.name, "COM23").view;
}

struct PtyCase {
  MeterModel model;
  Target target;
  FaultKind kind;
};

const PtyCase kPtyCases[] = {
    {MeterModel::Zfk31, Target::Identification, FaultKind::Silence},
    {MeterModel::Zfk31, Target::Coefficient, FaultKind::Garbage},
    {MeterModel::Zfk31, Target::Record, FaultKind::HangUp},
    {MeterModel::Zfk36, Target::Record, FaultKind::BadChecksum},
    {MeterModel::Gdz1207s2, Target::Coefficient, FaultKind::HangUp},
    {MeterModel::Gdz1208, Target::Identification, FaultKind::HangUp},
    {MeterModel::Gdz1208, Target::Coefficient, FaultKind::Exception},
    {MeterModel::Gdz1208x2, Target::Coefficient, FaultKind::Gap},
};

class PtyMatrix : public ::testing::TestWithParam<PtyCase> {};

TEST_P(PtyMatrix, FaultEndsTheReadInTimeAndTheNextReadWorks) {
  const PtyCase& c = GetParam();
  const ModelCase& model = ModelOf(c.model);
  const RecordingView cleanScreen = CleanScreen(c.model);
  PtyMeter pty(c.model);
  ASSERT_TRUE(pty.started) << pty.server->ErrorText();
  const auto aim = AimOf(model, c.target);
  ASSERT_TRUE(aim);

  TMeterRead read;
  PtyTimeouts(read);
  metersim::Fault fault = AimedFault(c.kind, *aim, 0);
  if (c.kind == FaultKind::Gap) fault.ms = 500;  // well beyond the byte time-out
  pty.meter->AddFault(fault);
  const ReadRun run = pty.Read(read);
  const auto log = pty.meter->Requests();
  pty.meter->ClearFaults();
  pty.meter->ClearRequests();
  if (c.kind == FaultKind::HangUp) ASSERT_TRUE(pty.WaitForHangUps(1));

  ReadRun clean;
  clean.view = cleanScreen;
  const ReadRun next = pty.Read(read);
  EXPECT_TRUE(SameScreen(next.view, cleanScreen)) << Describe(next, clean);
  EXPECT_FALSE(next.portOpenAfter);

  EXPECT_EQ(Check(Expect(model, c.target, c.kind, 0), run, clean), "");
  EXPECT_EQ(CountWrites(log), 0u);
  // The clean read's time is the next read's; the operations from the target
  // on are counted in the log of the next read, which went all the way.
  const double bound = FaultBoundMs(*read.LastConnection(), model, c.target, c.kind, next.ms,
                                    OperationsFrom(pty.meter->Requests(), *aim),
                                    metersim::ByteTimeUs(19200) / 1000.0);
  EXPECT_LE(static_cast<double>(run.ms), bound + RealTimeSlack(bound));
  Results().pty.push_back({metersim::MeterModelName(c.model), c.target, c.kind,
                           Describe(run, clean), run.ms, bound,
                           SameScreen(next.view, cleanScreen)});
}

INSTANTIATE_TEST_SUITE_P(Cases, PtyMatrix, ::testing::ValuesIn(kPtyCases), [](const auto& info) {
  std::string n = std::string(metersim::MeterModelName(info.param.model)) + "_" +
                  TargetName(info.param.target) + "_" + metersim::FaultKindName(info.param.kind);
  std::erase(n, '-');
  return n;
});

// --- devices that cannot be opened -------------------------------------------

// The read gives up before it touches any field.
void ExpectPortError(const ReadRun& run, const std::string& what) {
  EXPECT_EQ(run.outcome.result, ReadResult::PortError) << what;
  EXPECT_EQ(run.view.errors,
            std::vector<std::string>{std::string("Не удалось открыть порт ") + kPortText})
      << what;
  for (const auto& field : run.view.fields)
    EXPECT_FALSE(field.has_value()) << what;
  EXPECT_FALSE(run.view.versionVisible) << what;
  EXPECT_EQ(run.view.refreshStates, (std::vector<bool>{false, true})) << what;
  EXPECT_FALSE(run.portOpenAfter) << what;
}

TEST(PortFaults, MissingDirectoryRegularFileAndBusyDeviceGiveThePortMessage) {
  const std::string dir = TempPath("dir");
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  const std::string regular = dir + "/file";
  close(open(regular.c_str(), O_CREAT | O_WRONLY, 0600));
  PtyPair busy;
  TlumComPort holder;  // another program has the line
  holder.SetDevice(busy.SlavePath());
  ASSERT_TRUE(holder.Open());

  struct Case {
    const char* what;
    std::string path;
  };
  for (const Case& c : {Case{"missing", dir + "/no-such-device"}, Case{"directory", dir},
                        Case{"regular file", regular}, Case{"busy", busy.SlavePath()}}) {
    TMeterRead read;
    ExpectPortError(RunRead(read, c.path, kPortText), c.what);
  }
  holder.Close();
  unlink(regular.c_str());
  rmdir(dir.c_str());
}

// Root opens whatever the permission bits say; to see the refusal a user
// must be one. As root the test forks and becomes "nobody" in the child.
TEST(PortFaults, DeviceWithoutPermissionGivesThePortMessage) {
  PtyPair line;
  ASSERT_EQ(chmod(line.SlavePath().c_str(), 0600), 0);
  const bool root = geteuid() == 0;
  if (!root) ASSERT_EQ(chmod(line.SlavePath().c_str(), 0000), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (root && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    // Make sure the refusal is the one meant, then read.
    const int fd = open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0 || errno != EACCES) _exit(4);
    TMeterRead read;
    const ReadRun run = RunRead(read, line.SlavePath(), kPortText);
    const bool ok =
        run.outcome.result == ReadResult::PortError &&
        run.view.errors ==
            std::vector<std::string>{std::string("Не удалось открыть порт ") + kPortText} &&
        !run.portOpenAfter;
    _exit(ok ? 0 : 5);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot become an unprivileged user here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "4: the open was not refused for lack of permission; "
                                       "5: the read did not end with the port message";
}

// A meter whose line goes away between reads: the read cannot open it; once a
// line is back under the same name, the next read works.
TEST(PortFaults, LineGoneBetweenReadsThenBack) {
  const RecordingView cleanScreen = CleanScreen(MeterModel::Zfk31);
  PtyMeter pty(MeterModel::Zfk31);
  ASSERT_TRUE(pty.started);
  TMeterRead read;
  PtyTimeouts(read);
  EXPECT_TRUE(SameScreen(pty.Read(read).view, cleanScreen));
  pty.server->Stop();
  ExpectPortError(pty.Read(read), "line gone");
  ASSERT_TRUE(pty.server->Start(pty.link)) << pty.server->ErrorText();
  const ReadRun again = pty.Read(read);
  EXPECT_TRUE(SameScreen(again.view, cleanScreen));
  EXPECT_FALSE(again.portOpenAfter);
}

}  // namespace
