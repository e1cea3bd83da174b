// calibrate-metersim as another process: started, talked to over its
// pseudo-terminal, stopped by signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "SimTestUtil.h"
#include "comm/serial/SerialDevice.h"

extern char** environ;

namespace {

using namespace simtest;

struct Child {
  pid_t pid = -1;
  int out = -1;  // its standard output
  ~Child() {
    if (out >= 0) close(out);
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  // Ends it with the signal; its exit status, or -1.
  int Stop(int signal) {
    kill(pid, signal);
    int status = 0;
    const pid_t done = waitpid(pid, &status, 0);
    pid = -1;
    if (done < 0 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }
};

bool Spawn(Child& child, const std::vector<std::string>& args, bool quietErrors = true) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  if (quietErrors) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  std::string program = METERSIM_PROGRAM;
  argv.push_back(program.data());
  std::vector<std::string> copy = args;
  for (auto& a : copy)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  const int rc = posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  child.out = fds[0];
  return rc == 0;
}

// The first line of its output, waiting up to a few seconds.
std::string FirstLine(int fd) {
  std::string line;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char c;
    if (read(fd, &c, 1) != 1) break;
    if (c == '\n') return line;
    line += c;
  }
  return line;
}

std::vector<uint8_t> Exchange(const std::string& path, const std::vector<uint8_t>& request,
                              size_t count, int timeoutMs = 1000) {
  auto line = lum::OpenPlatformSerial(path, 9600);
  if (!line || !line->Write(request)) return {};
  std::vector<uint8_t> got;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (got.size() < count && std::chrono::steady_clock::now() < end) {
    uint8_t b;
    if (line->ReadByte(b))
      got.push_back(b);
    else
      line->WaitForInput(5);
  }
  return got;
}

TEST(MeterSimProgram, AnswersAnotherProcessAndStopsOnSigterm) {
  const std::string link = ::testing::TempDir() + "metersim-link" + std::to_string(getpid());
  Child child;
  ASSERT_TRUE(Spawn(child, {"--model", "gdz1207s-2", "--addr", "3", "--link", link}));
  const std::string path = FirstLine(child.out);
  ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(path, target);
  // Second node, through the link: the identification of a two-node meter.
  const auto reply = Exchange(link, Request3x(4, 0, 0), 12);
  ASSERT_EQ(reply.size(), 12u);
  EXPECT_EQ(HexText(std::vector<uint8_t>(reply.begin(), reply.begin() + 6)), "AA 04 FB 00 00 05");
  EXPECT_EQ(std::string(reply.begin() + 6, reply.end() - 1), "GDZ27");
  EXPECT_TRUE(ChecksumOk(reply));
  EXPECT_EQ(child.Stop(SIGTERM), 0);
  struct stat st {};
  EXPECT_NE(lstat(link.c_str(), &st), 0) << "link left behind";
}

TEST(MeterSimProgram, StopsOnSigintAndTakesFaultsAndTexts) {
  Child child;
  ASSERT_TRUE(Spawn(child, {"--model", "zfk36", "--addr", "0", "--id", "BRC-36", "--no-pacing",
                            "--fault", "stray:n=2,value=0x33,times=1"}));
  const std::string path = FirstLine(child.out);
  ASSERT_FALSE(path.empty());
  const auto reply = Exchange(path, Request3x(0, 0, 0), 15);
  ASSERT_EQ(reply.size(), 15u);
  EXPECT_EQ(reply[0], 0x33);
  EXPECT_EQ(reply[1], 0x33);
  EXPECT_EQ(std::string(reply.begin() + 8, reply.end() - 1), "BRC-36");
  EXPECT_EQ(child.Stop(SIGINT), 0);
}

TEST(MeterSimProgram, RefusesBadArguments) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--model", "zfk99", "--addr", "1"},
      {"--model", "zfk31"},
      {"--model", "zfk31", "--addr", "256"},
      {"--model", "zfk31", "--addr", "-1"},
      {"--model", "zfk31", "--addr", "1", "--baud", "0"},
      {"--model", "zfk31", "--addr", "1", "--fault", "explode"},
      {"--model", "zfk31", "--addr", "1", "--frobnicate", "1"},
      {"--model", "zfk31", "--addr"},
      {"--bus", "zfk31@1", "--model", "zfk31"},
      {"--bus", "zfk31@1,zfk36@1"},
      {"--model", "zfk31", "--addr", "1", "--flow", "1,2,3"},
  };
  for (const auto& args : bad) {
    Child child;
    ASSERT_TRUE(Spawn(child, args));
    int status = 0;
    ASSERT_EQ(waitpid(child.pid, &status, 0), child.pid);
    child.pid = -1;
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2) << (args.empty() ? "(none)" : args.back());
  }
}

TEST(MeterSimProgram, ServesABusWithAFlowAndPowersOnAgainOnSigusr1) {
  Child child;
  ASSERT_TRUE(Spawn(child, {"--bus", "zfk31@1,gdz1208@5", "--no-pacing", "--flow", "12.5,7",
                            "--fault", "power-loss:addr=5,skip=1"}));
  const std::string path = FirstLine(child.out);
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(Exchange(path, Request3x(1, 0, 0), 13).size(), 13u);
  // The power goes at the second write: no answer to it or to anything after.
  EXPECT_EQ(Exchange(path, WithCrc({5, 16, 0, 250, 0, 1, 2, 1, 2}), 8).size(), 8u);
  EXPECT_TRUE(Exchange(path, WithCrc({5, 16, 0, 250, 0, 1, 2, 3, 4}), 8, 200).empty());
  EXPECT_TRUE(Exchange(path, WithCrc({5, 3, 0, 250, 0, 1}), 7, 200).empty());
  EXPECT_EQ(Exchange(path, Request3x(1, 0, 0), 13).size(), 13u);  // the other meter lives
  kill(child.pid, SIGUSR1);
  std::vector<uint8_t> reply;
  for (int i = 0; i < 10 && reply.empty(); ++i)
    reply = Exchange(path, WithCrc({5, 3, 0, 250, 0, 1}), 7, 100);
  EXPECT_EQ(HexText(reply), HexText(WithCrc({5, 3, 2, 1, 2})));  // the cut write was not kept
  EXPECT_EQ(child.Stop(SIGTERM), 0);
}

}  // namespace
