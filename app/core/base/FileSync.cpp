#include "FileSync.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <io.h>
#define FlushDescriptor(fd) _commit(fd)
#define DescriptorOf(f) _fileno(f)
// Windows will not replace a file that anyone holds open (a second copy of the
// program reading its settings, a virus scanner looking at the new file), and
// will not open one while it is being replaced. Such a hold lasts
// milliseconds, so the move or the open is tried again for a while; a busy
// machine (a scanner, a build) can stretch a hold, hence a second.
constexpr std::chrono::milliseconds kHoldLimit{1000};
#else
#include <fcntl.h>
#include <unistd.h>
#define FlushDescriptor(fd) fsync(fd)
#define DescriptorOf(f) fileno(f)
constexpr std::chrono::milliseconds kHoldLimit{0};  // a failure here is for good
#endif

bool WriteFileDurably(const std::string& path, const std::string& contents) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(contents.data(), 1, contents.size(), f) == contents.size();
  ok = std::fflush(f) == 0 && ok;
  ok = FlushDescriptor(DescriptorOf(f)) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

void FlushFolder(const std::string& folder) {
#ifndef _WIN32
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
#else
  (void)folder;
#endif
}

namespace {

// Runs attempt until it succeeds or the hold limit has passed.
template <typename Attempt>
bool TryWhileHeld(Attempt attempt) {
  const auto giveUp = std::chrono::steady_clock::now() + kHoldLimit;
  for (;;) {
    if (attempt()) return true;
    if (std::chrono::steady_clock::now() >= giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

// A directory in the file's place is no hold that ends by waiting.
bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

}  // namespace

bool MoveIntoPlace(const std::string& from, const std::string& to) {
  if (IsDirectory(to)) return false;
  return TryWhileHeld([&] {
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    return !ec;
  });
}

bool OpenForReading(std::ifstream& in, const std::string& path) {
  if (IsDirectory(path)) return false;
  return TryWhileHeld([&] {
    in.clear();
    in.open(path, std::ios::binary);
    return in.is_open();
  });
}
