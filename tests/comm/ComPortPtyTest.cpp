// The port component over real pseudo-terminals, through the termios layer.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

#include "comm/LuMComPort.h"
#include "support/PtyPair.h"
#include "support/ScriptedLine.h"

namespace {

constexpr uint8_t kPort = 41;

int OpenDescriptors() {
  int count = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d))
      ++count;
    closedir(d);
  }
  return count;
}

// Reads with ReadByte until count bytes came or a second passed.
std::vector<uint8_t> ReadBytes(TlumComPort& port, size_t count) {
  std::vector<uint8_t> out;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (out.size() < count && std::chrono::steady_clock::now() < end) {
    uint8_t b;
    if (port.ReadByte(b))
      out.push_back(b);
    else
      port.WaitForInput(50);
  }
  return out;
}

class ComPortPty : public ::testing::Test {
 protected:
  void SetUp() override {
    lum::BindSerialPortPath(kPort, pty.SlavePath());
    port.SetComPort(kPort);
  }
  void TearDown() override { lum::UnbindSerialPort(kPort); }

  PtyPair pty;
  TlumComPort port;
};

TEST_F(ComPortPty, OpensThroughThePortMapWithRawSettings) {
  port.SetBaudRate(19200);
  {
    // A line left with software flow control of every kind by someone else.
    const int other = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    termios t{};
    ASSERT_EQ(tcgetattr(other, &t), 0);
    t.c_iflag |= IXON | IXOFF | IXANY;
    ASSERT_EQ(tcsetattr(other, TCSANOW, &t), 0);
    close(other);
  }
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(port.OpenError().kind, PortOpenFailure::None);
  EXPECT_TRUE(port.Active());
  EXPECT_EQ(port.DeviceName(), pty.SlavePath());

  int fd = open(pty.SlavePath().c_str(), O_RDONLY | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios t{};
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  close(fd);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & PARENB, 0u);
  EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
}

TEST_F(ComPortPty, ReadByteReturnsAWaitingByteOrFalseAtOnce) {
  ASSERT_TRUE(port.Open());
  uint8_t b = 0x5A;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port.ReadByte(b));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_EQ(b, 0x5A);

  // Every byte value passes unchanged, the ones a cooked line would eat too.
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i)
    all[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  pty.Send(all);
  EXPECT_EQ(ReadBytes(port, 256), all);
  EXPECT_FALSE(port.ReadByte(b));
}

TEST_F(ComPortPty, WriteBufferAndWriteByteDeliverEveryByte) {
  ASSERT_TRUE(port.Open());
  std::vector<uint8_t> frame(600);
  for (size_t i = 0; i < frame.size(); ++i)
    frame[i] = static_cast<uint8_t>(i * 7);
  EXPECT_TRUE(port.WriteBuffer(frame));
  EXPECT_TRUE(port.WriteByte(0x0D));
  frame.push_back(0x0D);
  EXPECT_EQ(pty.Receive(frame.size()), frame);
}

TEST_F(ComPortPty, PurgeDropsPendingInput) {
  ASSERT_TRUE(port.Open());
  pty.Send({1, 2, 3});
  ASSERT_TRUE(port.WaitForInput(1000));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  port.Purge();
  uint8_t b;
  EXPECT_FALSE(port.ReadByte(b));
  pty.Send({4});
  EXPECT_EQ(ReadBytes(port, 1), std::vector<uint8_t>{4});
}

TEST_F(ComPortPty, ReadByteRefusesWhileReceiveInThreadIsSet) {
  ASSERT_TRUE(port.Open());
  pty.Send({9});
  ASSERT_TRUE(port.WaitForInput(1000));
  port.SetReceiveInThread(true);  // no thread runs: it takes effect at the next Open
  uint8_t b;
  EXPECT_FALSE(port.ReadByte(b));
  port.SetReceiveInThread(false);
  EXPECT_TRUE(port.ReadByte(b));
  EXPECT_EQ(b, 9);
}

TEST_F(ComPortPty, OpenTwiceAndDestroyOpenLeakNothing) {
  const int before = OpenDescriptors();
  {
    TlumComPort other;
    other.SetComPort(kPort);
    ASSERT_TRUE(other.Open());
    ASSERT_TRUE(other.Open());
    EXPECT_EQ(OpenDescriptors(), before + 1);
  }  // destroyed while open
  EXPECT_EQ(OpenDescriptors(), before);
  port.Close();
  port.Close();
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(ComPortPty, CloseRestoresTheLineSettings) {
  int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios cooked{};
  tcgetattr(fd, &cooked);
  cooked.c_lflag |= ICANON | ECHO;
  tcsetattr(fd, TCSANOW, &cooked);
  ASSERT_TRUE(port.Open());
  port.Close();
  termios after{};
  tcgetattr(fd, &after);
  close(fd);
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO), static_cast<tcflag_t>(ICANON | ECHO));
}

TEST_F(ComPortPty, HungUpLineFailsReadsAndWaits) {
  ASSERT_TRUE(port.Open());
  pty.CloseMaster();
  uint8_t b;
  EXPECT_FALSE(port.ReadByte(b));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port.WaitForInput(60));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

std::string SystemText(int code) {
  return std::system_category().message(code);
}

// A failed open also keeps the system's reason, sorted into what a user can
// do about it.
TEST(ComPortOpen, UnopenableDevicesGiveFalseAndInactive) {
  char dir[] = "/tmp/calibrate-dirXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string regular = std::string(dir) + "/file";
  close(open(regular.c_str(), O_CREAT | O_WRONLY, 0600));
  struct Case {
    const char* what;
    std::string path;
    PortOpenFailure kind;
    int code;
  };
  for (const Case& c :
       {Case{"missing", "/dev/calibrate-no-such-device", PortOpenFailure::NotFound, ENOENT},
        Case{"below a file", regular + "/tty", PortOpenFailure::NotFound, ENOTDIR},
        Case{"directory", dir, PortOpenFailure::Other, EISDIR},
        Case{"regular file", regular, PortOpenFailure::Other, ENOTTY},
        Case{"not a terminal", "/dev/null", PortOpenFailure::Other, ENOTTY}}) {
    lum::BindSerialPortPath(kPort, c.path);
    TlumComPort port;
    port.SetComPort(kPort);
    EXPECT_FALSE(port.Open()) << c.what;
    EXPECT_FALSE(port.Active()) << c.what;
    EXPECT_EQ(port.OpenError().kind, c.kind) << c.what;
    EXPECT_EQ(port.OpenError().systemText, SystemText(c.code)) << c.what;
    uint8_t b;
    EXPECT_FALSE(port.ReadByte(b)) << c.what;
    EXPECT_FALSE(port.WriteByte(1)) << c.what;
    port.Purge();
    port.Close();
  }
  lum::UnbindSerialPort(kPort);
  unlink(regular.c_str());
  rmdir(dir);
}

// Root opens whatever the permission bits say: as root the test becomes
// "nobody" in a child, which reports by its exit status. The device's group
// is named only when the mode lets that group read and write.
TEST(ComPortOpen, PermissionDeniedNamesTheDevicesGroupWhenItMayUseIt) {
  const bool root = geteuid() == 0;
  const struct {
    mode_t mode;
    bool groupNamed;
  } cases[] = {{0660, true}, {0600, false}, {0640, false}};
  for (const auto& c : cases) {
    if (!root && c.groupNamed) continue;  // the owner could open it
    PtyPair line;
    ASSERT_EQ(chmod(line.SlavePath().c_str(), root ? c.mode : 0000), 0);
    struct stat st {};
    ASSERT_EQ(stat(line.SlavePath().c_str(), &st), 0);
    const group* owner = getgrgid(st.st_gid);
    const std::string groupName = !c.groupNamed ? ""
                                  : owner       ? owner->gr_name
                                                : std::to_string(st.st_gid);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (root && (setgroups(0, nullptr) || setgid(65534) || setuid(65534))) _exit(3);
      lum::BindSerialPortPath(kPort, line.SlavePath());
      TlumComPort port;
      port.SetComPort(kPort);
      const PortOpenError& e = port.OpenError();
      _exit(!port.Open() && e.kind == PortOpenFailure::PermissionDenied &&
                    e.systemText == SystemText(EACCES) && e.group == groupName
                ? 0
                : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot become an unprivileged user here";
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "mode " << std::oct << c.mode << ": not refused for permission with group '" << groupName
        << "'";
  }
}

TEST(ComPortOpen, PortZeroAndUnboundNumbersUseTheSystemNames) {
  EXPECT_EQ(lum::SerialPortName(0), "/dev/ttyS-1");
  EXPECT_EQ(lum::SerialPortName(1), "/dev/ttyS0");
  EXPECT_EQ(lum::SerialPortName(32), "/dev/ttyS31");
  TlumComPort port;
  port.SetComPort(0);
  EXPECT_FALSE(port.Open());
  EXPECT_FALSE(port.Active());
}

TEST(ComPortOpen, BusyDeviceCannotBeOpenedTwice) {
  PtyPair pty;
  lum::BindSerialPortPath(kPort, pty.SlavePath());
  TlumComPort first, second;
  first.SetComPort(kPort);
  second.SetComPort(kPort);
  ASSERT_TRUE(first.Open());
  EXPECT_FALSE(second.Open());
  EXPECT_EQ(second.OpenError().kind, PortOpenFailure::Busy);
  EXPECT_EQ(second.OpenError().systemText, SystemText(EBUSY));
  first.Close();
  EXPECT_TRUE(second.Open());
  EXPECT_EQ(second.OpenError().kind, PortOpenFailure::None);
  lum::UnbindSerialPort(kPort);
}

TEST(ComPortProperties, DefaultsAndSetterRules) {
  TlumComPort port;
  EXPECT_STREQ(TlumComPort::Version(), "v1.00");
  EXPECT_EQ(port.ComPort(), 1);
  EXPECT_EQ(port.BaudRate(), 9600u);
  EXPECT_EQ(port.ThreadInterval(), 100u);
  EXPECT_EQ(port.ThreadByteTimeout(), 10u);
  EXPECT_FALSE(port.ReceiveInThread());
  EXPECT_FALSE(port.Active());

  struct Clamp {
    uint32_t set, interval, byteTimeout;
  };
  for (const Clamp& c :
       {Clamp{5, 10, 10}, Clamp{0, 10, 10}, Clamp{10, 10, 10}, Clamp{500, 500, 500},
        Clamp{1000, 1000, 1000}, Clamp{1001, 1001, 1000}, Clamp{10000, 10000, 1000},
        Clamp{10001, 10000, 1000}, Clamp{0xFFFFFFFF, 10000, 1000}}) {
    port.SetThreadInterval(c.set);
    port.SetThreadByteTimeout(c.set);
    EXPECT_EQ(port.ThreadInterval(), c.interval) << c.set;
    EXPECT_EQ(port.ThreadByteTimeout(), c.byteTimeout) << c.set;
  }
  port.SetComPort(0);
  EXPECT_EQ(port.ComPort(), 0);
  port.SetComPort(255);
  EXPECT_EQ(port.ComPort(), 255);
  port.SetBaudRate(1234567);
  EXPECT_EQ(port.BaudRate(), 1234567u);
}

TEST(ComPortProperties, BaudRateTakesEffectAtTheNextOpen) {
  ScopedVirtualTime time;
  auto line = ScriptedLine::Create(time.clock);
  std::vector<uint32_t> speeds;
  lum::BindSerialPortDevice(kPort, [&, f = line->Factory()](uint32_t baud) {
    speeds.push_back(baud);
    return f(baud);
  });
  TlumComPort port;
  port.SetComPort(kPort);
  ASSERT_TRUE(port.Open());
  port.SetBaudRate(19200);
  EXPECT_TRUE(port.WriteByte(1));
  port.Close();
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(speeds, (std::vector<uint32_t>{9600, 19200}));
  lum::UnbindSerialPort(kPort);
}

}  // namespace
