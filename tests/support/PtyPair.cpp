#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

PtyPair::PtyPair() {
  char name[256] = {};
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&master_, &slaveKeep_, name, &raw, nullptr) != 0) {
    std::perror("openpty");
    std::abort();
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slaveKeep_, F_SETFD, FD_CLOEXEC);
  slavePath_ = name;
}

PtyPair::~PtyPair() {
  CloseMaster();
  if (slaveKeep_ >= 0) close(slaveKeep_);
}

void PtyPair::Send(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd p{master_, POLLOUT, 0};
      if (poll(&p, 1, 1000) <= 0) return;
    }
  }
}

std::vector<uint8_t> PtyPair::Receive(size_t count, int timeoutMs) {
  std::vector<uint8_t> out;
  while (out.size() < count) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) break;
    uint8_t buf[256];
    const ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

void PtyPair::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}
