// The journal file on POSIX: flock for the lock between processes (it belongs
// to the open file, so two opens in one process exclude each other too, and
// the system drops it when a holder dies), O_APPEND so that a write lands at
// the end whatever another writer did, fsync before an append counts.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

#include "JournalFile.h"

namespace {

std::string Reason(const std::string& what, int error) {
  return what + ": " + std::generic_category().message(error);
}

// A new file's name is on the disk only once its folder is flushed too.
void FlushFolderOf(const std::filesystem::path& path) {
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// O_NONBLOCK: the callers refuse anything but a regular file before they
// open it; should a FIFO take its place meanwhile, the open must not wait for
// a writer. A regular file ignores the flag.
int OpenForAppend(const std::filesystem::path& path) {
  const int flags = O_RDWR | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  for (int attempt = 0; attempt < 2; ++attempt) {  // twice: someone may remove it between
    int fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0644);
    if (fd >= 0) {
      FlushFolderOf(path);
      return fd;
    }
    if (errno != EEXIST) return -1;
    fd = ::open(path.c_str(), flags);
    if (fd >= 0 || errno != ENOENT) return fd;
  }
  return -1;
}

// 0 once the lock is had; else why not, EWOULDBLOCK when the wait ran out.
int Lock(int fd, int operation, std::chrono::milliseconds wait) {
  const auto giveUp = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (::flock(fd, operation | LOCK_NB) == 0) return 0;
    const int why = errno;
    if (why != EWOULDBLOCK && why != EINTR) return why;
    if (std::chrono::steady_clock::now() >= giveUp) return EWOULDBLOCK;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

std::unique_ptr<JournalFile> JournalFile::Open(const std::filesystem::path& path, Access access,
                                               std::chrono::milliseconds lockWait,
                                               std::string& error) {
  const int fd = access == Access::Append
                     ? OpenForAppend(path)
                     : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    error = Reason("не открывается", errno);
    return nullptr;
  }
  const int why = Lock(fd, access == Access::Append ? LOCK_EX : LOCK_SH, lockWait);
  if (why != 0 && !(access == Access::Read && why == EWOULDBLOCK)) {
    error = why == EWOULDBLOCK ? "другая программа держит его блокировку дольше " +
                                     std::to_string(lockWait.count()) + " мс"
                               : Reason("не блокируется", why);
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<JournalFile>(new JournalFile(fd));
}

JournalFile::~JournalFile() {
  ::close(static_cast<int>(handle_));
}  // drops the lock

bool JournalFile::Size(uint64_t& size, std::string& error) {
  struct stat st {};
  if (::fstat(static_cast<int>(handle_), &st) != 0) {
    error = Reason("не удаётся узнать размер", errno);
    return false;
  }
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool JournalFile::ReadAt(uint64_t offset, size_t count, std::string& out, std::string& error) {
  out.resize(count);
  size_t got = 0;
  while (got < count) {
    const ssize_t n = ::pread(static_cast<int>(handle_), out.data() + got, count - got,
                              static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = Reason("не читается", errno);
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  out.resize(got);
  return true;
}

bool JournalFile::AppendDurably(std::string_view bytes, std::string& error) {
  const int fd = static_cast<int>(handle_);
  uint64_t before = 0;
  if (!Size(before, error)) return false;
  ssize_t n;
  do {
    n = ::write(fd, bytes.data(), bytes.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    error = Reason("не дописывается", errno);
  } else if (static_cast<size_t>(n) < bytes.size()) {
    error = "не дописывается: записано только " + std::to_string(n) + " из " +
            std::to_string(bytes.size()) + " байт (диск заполнен?)";
  } else if (::fsync(fd) != 0) {
    error = Reason("не сбрасывается на диск", errno);
  } else {
    return true;
  }
  if (::ftruncate(fd, static_cast<off_t>(before)) == 0) ::fsync(fd);
  return false;
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

bool LocalCalendarTime(std::time_t t, std::tm& local) {
  return ::localtime_r(&t, &local);
}
