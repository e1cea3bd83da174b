// The journal file on Windows. Byte-range locks there are mandatory (a locked
// range cannot be read by anyone else), so the lock is taken on one byte far
// beyond any real end of file: it excludes other appenders and leaves every
// byte of the journal readable. Appends go to the end found under the lock and
// are flushed with FlushFileBuffers.
#include <windows.h>

#include <algorithm>
#include <thread>

#include "JournalFile.h"
#include "comm/serial/SystemTextWin32.h"

namespace {

// The byte that stands for the whole file's lock: offset 2^63 - 2^32.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

HANDLE Handle(intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

std::string Reason(const std::string& what, DWORD error) {
  return what + ": " + lum::WindowsSystemText(error);
}

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// ERROR_SUCCESS once the lock is had; else why not, ERROR_LOCK_VIOLATION when
// the wait ran out.
DWORD Lock(HANDLE file, DWORD flags, std::chrono::milliseconds wait) {
  const auto giveUp = std::chrono::steady_clock::now() + wait;
  for (;;) {
    OVERLAPPED at = At(uint64_t{kLockOffsetHigh} << 32);
    if (LockFileEx(file, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return ERROR_SUCCESS;
    const DWORD why = GetLastError();
    if (why != ERROR_LOCK_VIOLATION && why != ERROR_IO_PENDING) return why;
    if (std::chrono::steady_clock::now() >= giveUp) return ERROR_LOCK_VIOLATION;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

std::unique_ptr<JournalFile> JournalFile::Open(const std::filesystem::path& path, Access access,
                                               std::chrono::milliseconds lockWait,
                                               std::string& error) {
  const bool append = access == Access::Append;
  const HANDLE file =
      CreateFileW(path.c_str(), append ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  append ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = Reason("не открывается", GetLastError());
    return nullptr;
  }
  const DWORD why = Lock(file, append ? LOCKFILE_EXCLUSIVE_LOCK : 0, lockWait);
  if (why != ERROR_SUCCESS && !(!append && why == ERROR_LOCK_VIOLATION)) {
    error = why == ERROR_LOCK_VIOLATION ? "другая программа держит его блокировку дольше " +
                                              std::to_string(lockWait.count()) + " мс"
                                        : Reason("не блокируется", why);
    CloseHandle(file);
    return nullptr;
  }
  return std::unique_ptr<JournalFile>(new JournalFile(reinterpret_cast<intptr_t>(file)));
}

JournalFile::~JournalFile() {
  OVERLAPPED at = At(uint64_t{kLockOffsetHigh} << 32);
  UnlockFileEx(Handle(handle_), 0, 1, 0, &at);
  CloseHandle(Handle(handle_));
}

bool JournalFile::Size(uint64_t& size, std::string& error) {
  LARGE_INTEGER n{};
  if (!GetFileSizeEx(Handle(handle_), &n)) {
    error = Reason("не удаётся узнать размер", GetLastError());
    return false;
  }
  size = static_cast<uint64_t>(n.QuadPart);
  return true;
}

bool JournalFile::ReadAt(uint64_t offset, size_t count, std::string& out, std::string& error) {
  out.resize(count);
  size_t got = 0;
  while (got < count) {
    OVERLAPPED at = At(offset + got);
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - got, 1u << 30));
    DWORD n = 0;
    if (!ReadFile(Handle(handle_), out.data() + got, chunk, &n, &at)) {
      const DWORD why = GetLastError();
      if (why == ERROR_HANDLE_EOF) break;
      error = Reason("не читается", why);
      return false;
    }
    if (n == 0) break;
    got += n;
  }
  out.resize(got);
  return true;
}

bool JournalFile::AppendDurably(std::string_view bytes, std::string& error) {
  const HANDLE file = Handle(handle_);
  uint64_t before = 0;
  if (!Size(before, error)) return false;
  if (bytes.size() > MAXDWORD) {
    error = "не дописывается: событие слишком велико";
    return false;
  }
  OVERLAPPED at = At(before);  // the end, as no other appender can move it under our lock
  DWORD n = 0;
  if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &n, &at)) {
    error = Reason("не дописывается", GetLastError());
  } else if (n < bytes.size()) {
    error = "не дописывается: записано только " + std::to_string(n) + " из " +
            std::to_string(bytes.size()) + " байт (диск заполнен?)";
  } else if (!FlushFileBuffers(file)) {
    error = Reason("не сбрасывается на диск", GetLastError());
  } else {
    return true;
  }
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(before);
  if (SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end)) FlushFileBuffers(file);
  return false;
}

std::string HostName() {  // in UTF-8, as every text of the journal
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &size) || size == 0) return {};
  char utf8[4 * (MAX_COMPUTERNAME_LENGTH + 1)] = {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(size), utf8, sizeof utf8,
                                    nullptr, nullptr);
  return std::string(utf8, n > 0 ? static_cast<size_t>(n) : 0);
}

bool LocalCalendarTime(std::time_t t, std::tm& local) {
  return localtime_s(&local, &t) == 0;
}
