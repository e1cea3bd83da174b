#include "sim/PtyMeterServer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace metersim {

namespace {

uint64_t NowUs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string Errno(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

void SetFlags(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// Largest burst written at once; the rest waits for the next turn of the loop.
constexpr size_t kChunk = 256;

// Closing a pseudo-terminal throws away what the client has not read yet, so
// a hang-up waits until the bytes before it are taken, but no longer than
// kDrainUs: a client that has stopped reading gets the hang-up all the same.
// The kernel moves written bytes to the client's side a little later, so the
// count of unread bytes means something only after kSettleUs.
constexpr uint64_t kSettleUs = 10'000;
constexpr uint64_t kDrainUs = 200'000;
// How often a waiting hang-up looks again.
constexpr uint64_t kDrainPollUs = 2'000;

}  // namespace

PtyMeterServer::PtyMeterServer(std::shared_ptr<VirtualMeter> meter)
    : PtyMeterServer(MeterBus(std::move(meter))) {}

PtyMeterServer::PtyMeterServer(MeterBus bus) : bus_(std::move(bus)) {}

PtyMeterServer::~PtyMeterServer() {
  Stop();
}

bool PtyMeterServer::Start(const std::string& linkPath) {
  if (thread_.joinable()) return true;
  link_ = linkPath;
  if (pipe(wake_) != 0) {
    Fail(Errno("pipe"));
    return false;
  }
  SetFlags(wake_[0]);
  SetFlags(wake_[1]);
  if (!OpenLine() || !PointLink()) {
    CloseLine();
    close(wake_[0]);
    close(wake_[1]);
    wake_[0] = wake_[1] = -1;
    return false;
  }
  stop_ = false;
  queue_.Clear();
  thread_ = std::thread([this] { Run(); });
  return true;
}

void PtyMeterServer::Stop() {
  if (!thread_.joinable()) return;
  stop_ = true;
  const char b = 1;
  [[maybe_unused]] const ssize_t n = write(wake_[1], &b, 1);
  thread_.join();
  // Remove the link only while it is still ours.
  if (!link_.empty()) {
    char target[512] = {};
    const ssize_t len = readlink(link_.c_str(), target, sizeof target - 1);
    if (len > 0 && DevicePath() == std::string(target, static_cast<size_t>(len)))
      unlink(link_.c_str());
  }
  CloseLine();
  close(wake_[0]);
  close(wake_[1]);
  wake_[0] = wake_[1] = -1;
}

bool PtyMeterServer::Running() const {
  return thread_.joinable();
}

std::string PtyMeterServer::DevicePath() const {
  std::lock_guard lock(mutex_);
  return path_;
}

std::string PtyMeterServer::ErrorText() const {
  std::lock_guard lock(mutex_);
  return error_;
}

int PtyMeterServer::HangUps() const {
  return hangUps_.load();
}

void PtyMeterServer::Fail(const std::string& what) {
  std::lock_guard lock(mutex_);
  error_ = what;
}

bool PtyMeterServer::OpenLine() {
  char name[256] = {};
  termios raw{};
  // Raw from the start: with echo on, the line would hand every reply back
  // to the meter as if the master had sent it.
  cfmakeraw(&raw);
  if (openpty(&master_, &slaveKeep_, name, &raw, nullptr) != 0) {
    Fail(Errno("openpty"));
    return false;
  }
  SetFlags(master_);
  fcntl(slaveKeep_, F_SETFD, FD_CLOEXEC);
  std::lock_guard lock(mutex_);
  path_ = name;
  return true;
}

void PtyMeterServer::CloseLine() {
  if (master_ >= 0) close(master_);
  if (slaveKeep_ >= 0) close(slaveKeep_);
  master_ = slaveKeep_ = -1;
}

bool PtyMeterServer::PointLink() {
  if (link_.empty()) return true;
  struct stat st {};
  if (lstat(link_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    Fail(link_ + " exists and is not a symbolic link");
    return false;
  }
  // Made beside the link and renamed over it, so that the link is never
  // missing or half made for a client that looks at that moment.
  const std::string temp = link_ + ".tmp" + std::to_string(getpid());
  unlink(temp.c_str());
  if (symlink(DevicePath().c_str(), temp.c_str()) != 0) {
    Fail(Errno("symlink " + link_));
    return false;
  }
  if (rename(temp.c_str(), link_.c_str()) != 0) {
    Fail(Errno("rename " + link_));
    unlink(temp.c_str());
    return false;
  }
  return true;
}

void PtyMeterServer::Run() {
  while (!stop_) {
    const uint64_t now = NowUs();
    SendDue(now);
    uint64_t next = queue_.NextEventUs();
    if (queue_.HungUp(now)) next = now + kDrainPollUs;  // waiting for the client to read
    timespec timeout{};
    timespec* wait = nullptr;
    if (next != ReplyQueue::kNever) {
      const uint64_t us = next > now ? next - now : 0;
      timeout.tv_sec = static_cast<time_t>(us / 1'000'000);
      timeout.tv_nsec = static_cast<long>(us % 1'000'000) * 1000;
      wait = &timeout;
    }
    pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    const int r = ppoll(fds, 2, wait, nullptr);
    if (r < 0 && errno != EINTR) break;
    if (r <= 0) continue;
    if (fds[1].revents) {
      char drain[16];
      while (read(wake_[0], drain, sizeof drain) > 0) {
      }
      continue;
    }
    if (fds[0].revents & POLLIN) {
      Serve(NowUs());
    } else if (fds[0].revents) {
      // Cannot happen while our own slave descriptor is open; never spin.
      usleep(10'000);
    }
  }
}

void PtyMeterServer::Serve(uint64_t nowUs) {
  uint8_t buf[512];
  const ssize_t n = read(master_, buf, sizeof buf);
  if (n <= 0) return;
  const auto count = static_cast<size_t>(n);
  const MeterOptions options = bus_.Options();
  const uint32_t byteTime = options.pacing ? ByteTimeUs(options.baud) : 0;
  const uint64_t arrived = queue_.RequestArrived(count, nowUs, byteTime);
  for (const ReplyPlan& plan : bus_.Receive(std::span(buf, count)))
    queue_.Schedule(plan, arrived);
}

void PtyMeterServer::SendDue(uint64_t nowUs) {
  std::vector<uint8_t> chunk;
  uint8_t b = 0;
  while (chunk.size() < kChunk && queue_.Pop(nowUs, b))
    chunk.push_back(b);
  if (!chunk.empty()) {
    // A client that does not read lets the line's buffer fill; what does not
    // fit is lost, as on a wire nobody listens to.
    [[maybe_unused]] const ssize_t n = write(master_, chunk.data(), chunk.size());
  }
  if (!queue_.HungUp(nowUs)) return;
  const uint64_t closeAt = queue_.CloseAtUs();
  if (nowUs < closeAt + kSettleUs) return;
  int unread = 0;
  if (ioctl(slaveKeep_, FIONREAD, &unread) == 0 && unread > 0 && nowUs < closeAt + kDrainUs) return;
  // Closing both our ends hangs the line up for the client; a new line
  // takes its place.
  ++hangUps_;
  CloseLine();
  queue_.Clear();
  if (!OpenLine() || !PointLink()) stop_ = true;
}

}  // namespace metersim
