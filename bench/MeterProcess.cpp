#include "MeterProcess.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "sim/MeterBus.h"
#include "sim/PtyMeterServer.h"

namespace {

constexpr char kAskLog = 'L';
constexpr char kQuit = 'Q';

bool ReadLine(int fd, std::string& line) {
  line.clear();
  char c = 0;
  while (read(fd, &c, 1) == 1) {
    if (c == '\n') return true;
    line.push_back(c);
  }
  return false;
}

void WriteText(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// The child: serves the meters until told to quit or the parent is gone.
[[noreturn]] void ServeMeters(int commands, int answers,
                              const std::vector<metersim::BusMember>& members, uint32_t baud,
                              uint32_t turnaroundMs) {
  metersim::MeterOptions options;
  options.baud = baud;
  options.turnaroundMs = turnaroundMs;
  options.pacing = true;
  const auto meters = metersim::MakeBusMeters(members, options);
  metersim::PtyMeterServer server{metersim::MeterBus(meters)};
  if (!server.Start()) {
    WriteText(answers, "!" + server.ErrorText() + "\n");
    _exit(1);
  }
  WriteText(answers, server.DevicePath() + "\n");
  char command = 0;
  while (read(commands, &command, 1) == 1 && command == kAskLog) {
    std::string text;
    for (const auto& meter : meters) {
      for (const auto& r : meter->Requests())
        text += std::to_string(r.replied) + " " + std::to_string(static_cast<int>(r.protocol)) +
                " " + std::to_string(static_cast<int>(r.kind)) + " " +
                std::to_string(r.frame.size()) + "\n";
      meter->ClearRequests();
    }
    WriteText(answers, text + "end\n");
  }
  server.Stop();
  _exit(0);
}

}  // namespace

MeterProcess::~MeterProcess() {
  Stop();
}

bool MeterProcess::Start(metersim::MeterModel model, uint8_t address, uint32_t baud,
                         uint32_t turnaroundMs) {
  return StartBus({{model, address}}, baud, turnaroundMs);
}

bool MeterProcess::StartBus(const std::vector<metersim::BusMember>& members, uint32_t baud,
                            uint32_t turnaroundMs) {
  int down[2];
  int up[2];
  if (pipe(down) != 0) return false;
  if (pipe(up) != 0) {
    close(down[0]);
    close(down[1]);
    return false;
  }
  std::fflush(nullptr);  // the child must not write out our buffers again
  pid_ = fork();
  if (pid_ == 0) {
    close(down[1]);
    close(up[0]);
    ServeMeters(down[0], up[1], members, baud, turnaroundMs);
  }
  close(down[0]);
  close(up[1]);
  toChild_ = down[1];
  fromChild_ = up[0];
  if (pid_ < 0) {
    error_ = "fork failed";
    Stop();
    return false;
  }
  std::string line;
  if (!ReadLine(fromChild_, line) || line.empty() || line[0] == '!') {
    error_ = line.empty() ? "the meter process ended" : line.substr(1);
    Stop();
    return false;
  }
  path_ = line;
  return true;
}

void MeterProcess::Stop() {
  if (toChild_ >= 0) {
    WriteText(toChild_, std::string(1, kQuit));
    close(toChild_);
  }
  if (pid_ > 0) {
    int status = 0;
    rusage usage{};
    if (wait4(pid_, &status, 0, &usage) == pid_)
      childCpu_ = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  }
  if (fromChild_ >= 0) close(fromChild_);
  toChild_ = fromChild_ = -1;
  pid_ = -1;
}

std::vector<MeterProcess::Request> MeterProcess::TakeRequests() {
  std::vector<Request> requests;
  if (toChild_ < 0) return requests;
  WriteText(toChild_, std::string(1, kAskLog));
  std::string line;
  while (ReadLine(fromChild_, line) && line != "end") {
    int replied = 0;
    int protocol = 0;
    int kind = 0;
    size_t bytes = 0;
    if (std::sscanf(line.c_str(), "%d %d %d %zu", &replied, &protocol, &kind, &bytes) != 4)
      continue;
    requests.push_back({replied != 0, static_cast<metersim::Protocol>(protocol),
                        static_cast<metersim::RequestKind>(kind), bytes});
  }
  return requests;
}
