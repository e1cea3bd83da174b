// What the journal needs from the operating system: a journal file opened
// under a lock shared between processes, reads at an offset, one durable
// append; and the computer's name and the local time for each event.
// One file per platform, chosen by the build: JournalFilePosix.cpp (flock,
// fsync), JournalFileWin32.cpp (LockFileEx, FlushFileBuffers).
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

class JournalFile {
 public:
  enum class Access {
    Read,    // an existing file, shared lock: appends wait until the read is done.
             // Read on without the lock if it is not had in time: at worst an
             // append in progress shows as a torn last line.
    Append,  // created when missing, exclusive lock: one appender at a time
  };

  // Opens path and takes its lock, trying for at most lockWait (a lock held by
  // a process that hangs must not hang us). Null with a reason in error when
  // the file cannot be opened or created, or (Append) the lock not had in time. Reasons
  // here and below do not name the file: the caller does.
  static std::unique_ptr<JournalFile> Open(const std::filesystem::path& path, Access access,
                                           std::chrono::milliseconds lockWait, std::string& error);
  ~JournalFile();  // releases the lock and closes the file
  JournalFile(const JournalFile&) = delete;
  JournalFile& operator=(const JournalFile&) = delete;

  // The file's size in bytes. False with a reason when it cannot be had.
  bool Size(uint64_t& size, std::string& error);

  // Reads up to count bytes from offset into out (replacing it); fewer only at
  // the end of the file. False with a reason on a read error.
  bool ReadAt(uint64_t offset, size_t count, std::string& out, std::string& error);

  // Writes bytes at the end of the file in one write and flushes them to the
  // disk (Append access only). On any failure (disk full, a short write, the
  // flush) the file is cut back to its size before, as far as the system
  // lets us, and false comes back with a reason: what returned false is not
  // in the journal.
  bool AppendDurably(std::string_view bytes, std::string& error);

 private:
  explicit JournalFile(intptr_t handle) : handle_(handle) {}
  intptr_t handle_;  // a descriptor on POSIX, a HANDLE on Windows
};

// Paths of the journal are UTF-8 text in our interfaces; on Windows the file
// system wants them as UTF-16, which std::filesystem does from a u8string.
inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
inline std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// This computer's network name; empty when the system will not tell.
std::string HostName();

// The calendar time of t in the computer's time zone. False when the system
// cannot convert it.
bool LocalCalendarTime(std::time_t t, std::tm& local);
