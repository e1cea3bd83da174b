// termios serial device: raw 8N1, non-blocking, never the controlling terminal.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "../LumClock.h"
#include "SerialDevice.h"

namespace {

// Largest time a single write may stall on a full output queue. A real line
// drains 1024 bytes in about a second at 9600 baud; anything longer is a dead
// device, and the write is then reported as failed rather than hanging.
constexpr int kWriteStallMs = 2000;

speed_t SpeedOf(uint32_t baud, bool& known) {
  known = true;
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    default:
      known = false;
      return B9600;
  }
}

class PosixSerial final : public SerialDevice {
 public:
  PosixSerial(int fd, const termios* saved) : fd_(fd), haveSaved_(saved != nullptr) {
    if (saved) saved_ = *saved;
  }

  ~PosixSerial() override {
    // Put back what we found, so the next program meets the line as it was.
    if (haveSaved_) tcsetattr(fd_, TCSANOW, &saved_);
    close(fd_);
  }

  void Purge() override { tcflush(fd_, TCIOFLUSH); }

  bool Write(std::span<const uint8_t> bytes) override {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) return false;
      pollfd p{fd_, POLLOUT, 0};
      if (poll(&p, 1, kWriteStallMs) <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
        return false;
    }
    return true;
  }

  bool ReadByte(uint8_t& byte) override {
    for (;;) {
      const ssize_t n = read(fd_, &byte, 1);
      if (n == 1) return true;
      if (n < 0 && errno == EINTR) continue;
      return false;
    }
  }

  bool WaitForInput(uint32_t timeoutMs) override {
    const Deadline deadline(timeoutMs);
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      const int r = poll(&p, 1, static_cast<int>(deadline.RemainingMs()));
      if (r == 0) return false;
      if (r < 0 && errno == EINTR) continue;
      if (r > 0 && (p.revents & POLLIN) && !(p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return true;
      // Hung up or failed (a pseudo-terminal whose other side closed reports
      // POLLIN too, but every read fails): the caller still expects the wait
      // to take its time, not to spin.
      lum::SleepMs(deadline.RemainingMs());
      return false;
    }
  }

 private:
  int fd_;
  termios saved_{};
  bool haveSaved_;
};

// The name of group gid, or its number when the system knows no name.
std::string GroupName(gid_t gid) {
  group entry{};
  group* found = nullptr;
  std::vector<char> buffer(4096);
  if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
    return found->gr_name;
  return std::to_string(gid);
}

PortOpenError OpenFailure(int code, const std::string& name) {
  PortOpenError error;
  error.systemText = std::system_category().message(code);
  switch (code) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      error.kind = PortOpenFailure::NotFound;
      break;
    case EACCES:
    case EPERM: {
      error.kind = PortOpenFailure::PermissionDenied;
      // Whoever belongs to the device's group may use it, when the group may
      // read and write it (dialout on most systems): then joining it is the
      // one thing the user needs to be told. A node of mode 0600 (root:root)
      // lets no group in, and joining one would not help.
      struct stat st {};
      if (stat(name.c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP))
        error.group = GroupName(st.st_gid);
      break;
    }
    case EBUSY:
      error.kind = PortOpenFailure::Busy;
      break;
    default:
      error.kind = PortOpenFailure::Other;
      break;
  }
  return error;
}

// Checks that fd is a serial line nobody else holds; 0, or the errno that
// says why not.
int ClaimLine(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return errno;
  // Only a terminal device is a serial line; a regular file, a directory or
  // /dev/null would "open" and then swallow every request.
  if (!S_ISCHR(st.st_mode) || !isatty(fd)) return ENOTTY;
  // Another program holding the lock is using the line: busy, whatever the
  // lock call's own wording ("resource temporarily unavailable").
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? EBUSY : errno;
  return 0;
}

}  // namespace

std::unique_ptr<SerialDevice> lum::OpenPlatformSerial(const std::string& name, uint32_t baudRate,
                                                      PortOpenError* error) {
  const int fd = open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const int failure = fd < 0 ? errno : ClaimLine(fd);
  if (failure != 0) {
    if (fd >= 0) close(fd);
    if (error) *error = OpenFailure(failure, name);
    return nullptr;
  }
  termios saved{};
  const bool haveSaved = tcgetattr(fd, &saved) == 0;
  termios t = saved;
  cfmakeraw(&t);  // no echo, no line editing, no XON/XOFF eating 0x11 and 0x13
  // Neither side of the line may stop the other: a meter's reply may hold
  // 0x11 and 0x13 anywhere, and any byte must not restart held output.
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  t.c_cflag &= ~static_cast<tcflag_t>(PARENB | CSTOPB | CSIZE | CRTSCTS);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  bool known = false;
  const speed_t speed = SpeedOf(baudRate, known);
  if (known) {
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
  }
  // As on the original platform, a line that refuses a setting is still used.
  if (haveSaved) tcsetattr(fd, TCSANOW, &t);
  tcflush(fd, TCIOFLUSH);
  return std::make_unique<PosixSerial>(fd, haveSaved ? &saved : nullptr);
}

std::string lum::DefaultSerialPortName(uint8_t port) {
  return "/dev/ttyS" + std::to_string(static_cast<int>(port) - 1);
}
