#include "IniFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "app/core/base/FileSync.h"
#include "app/core/base/RegularFile.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

std::string Trim(const std::string& s) {
  const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
  auto b = std::find_if(s.begin(), s.end(), notSpace);
  auto e = std::find_if(s.rbegin(), s.rend(), notSpace).base();
  return b < e ? std::string(b, e) : std::string();
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

// "[Name]" gives "Name"; other lines give nullopt.
std::optional<std::string> SectionOf(const std::string& line) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  const auto close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

// "key = value" gives the trimmed key and value; comments give nullopt.
std::optional<std::pair<std::string, std::string>> EntryOf(const std::string& line) {
  const std::string t = Trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '#') return std::nullopt;
  const auto eq = t.find('=');
  if (eq == std::string::npos) return std::nullopt;
  return std::make_pair(Trim(t.substr(0, eq)), Trim(t.substr(eq + 1)));
}

std::string TempNameBeside(const std::string& path) {
  std::random_device rd;
  std::ostringstream name;
  name << path << ".tmp" << std::hex << rd() << rd();
  return name.str();
}

// Two programs may save the same file at once (two windows, or the window and
// the command line). Each replacement is whole anyway; but a save reads the
// file, changes it and replaces it, and a replacement made from a reading
// older than another program's save would silently undo that save. Saves
// therefore take turns: on POSIX by an advisory lock on the directory that
// holds the file (the file itself is replaced, so a lock on it would not
// last), on Windows by a mutex named after the file. Where no lock can be had
// the save goes ahead as before.
class SaveTurn {
 public:
  explicit SaveTurn(const std::string& path) {
#ifdef _WIN32
    std::string name = "Local\\CalibrateIni-";
    std::error_code ec;
    const std::string full = std::filesystem::absolute(path, ec).string();
    size_t hash = std::hash<std::string>{}(ec ? path : full);
    name += std::to_string(hash);
    mutex_ = CreateMutexA(nullptr, FALSE, name.c_str());
    if (mutex_) WaitForSingleObject(mutex_, INFINITE);
#else
    std::string dir = std::filesystem::path(path).parent_path().string();
    if (dir.empty()) dir = ".";
    fd_ = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
      }
    }
#endif
  }
  ~SaveTurn() {
#ifdef _WIN32
    if (mutex_) {
      ReleaseMutex(mutex_);
      CloseHandle(mutex_);
    }
#else
    if (fd_ >= 0) close(fd_);  // releases the lock
#endif
  }
  SaveTurn(const SaveTurn&) = delete;
  SaveTurn& operator=(const SaveTurn&) = delete;

 private:
#ifdef _WIN32
  HANDLE mutex_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace

std::optional<std::vector<std::string>> IniFile::ReadLines() const {
  std::vector<std::string> lines;
  std::error_code ec;
  if (!std::filesystem::exists(path_, ec)) return ec ? std::nullopt : std::optional(lines);
  if (!Unusable().empty()) return std::nullopt;
  std::ifstream in;
  if (!OpenForReading(in, path_)) return std::nullopt;
  std::string line;
  size_t bytes = 0;
  while (std::getline(in, line)) {
    bytes += line.size() + 1;
    if (bytes > kDocumentFileLimit + 1) return std::nullopt;  // it grew while we read
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  if (in.bad()) return std::nullopt;
  return lines;
}

std::string IniFile::Unusable() const {
  std::error_code ec;
  if (!std::filesystem::exists(path_, ec) && !ec) return {};
  std::string why;
  return IsRegularFile(path_, why, kDocumentFileLimit) ? std::string() : why;
}

std::optional<std::string> IniFile::ReadString(const std::string& section,
                                               const std::string& key) const {
  bool inSection = false;
  for (const auto& line : ReadLines().value_or(std::vector<std::string>{})) {
    if (auto s = SectionOf(line)) {
      inSection = SameName(*s, section);
    } else if (inSection) {
      auto entry = EntryOf(line);
      if (entry && SameName(entry->first, key)) return entry->second;
    }
  }
  return std::nullopt;
}

std::vector<std::string> IniFile::Sections() const {
  std::vector<std::string> names;
  for (const auto& line : ReadLines().value_or(std::vector<std::string>{}))
    if (auto s = SectionOf(line)) names.push_back(*s);
  return names;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  return ReadString(section, key).value_or(defaultValue);
}

int32_t IniFile::ReadInteger(const std::string& section, const std::string& key,
                             int32_t defaultValue) const {
  auto text = ReadString(section, key);
  if (!text) return defaultValue;
  return ParseInteger(*text).value_or(defaultValue);
}

std::optional<int32_t> IniFile::ParseInteger(const std::string& text) {
  std::string t = Trim(text);
  bool negative = false;
  if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
    negative = t[0] == '-';
    t.erase(0, 1);
  }
  int base = 10;
  if (t.size() > 1 && t[0] == '$') {
    base = 16;
    t.erase(0, 1);
  } else if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    t.erase(0, 2);
  }
  if (t.empty()) return std::nullopt;
  // Leading zeros carry no value; without them at most ten digits fit 32 bits.
  const auto significant = t.find_first_not_of('0');
  t.erase(0, significant == std::string::npos ? t.size() - 1 : significant);
  if (t.size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (char c : t) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return std::nullopt;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  if (base == 10) {
    if (value > (negative ? 2147483648ULL : 2147483647ULL)) return std::nullopt;
    const int64_t v = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
    return static_cast<int32_t>(v);
  }
  // Hexadecimal spells the 32 bits: $FFFFFFFF is -1.
  if (value > 0xFFFFFFFFULL) return std::nullopt;
  const auto bits = static_cast<uint32_t>(value);
  const auto v = static_cast<int32_t>(negative ? 0U - bits : bits);
  return v;
}

namespace {

// Sets key in section within the lines of a file, adding either as needed.
void SetEntry(std::vector<std::string>& lines, const std::string& section, const std::string& key,
              const std::string& value) {
  // Find the section and, within it, the key or the place after its last entry.
  std::optional<size_t> sectionAt, keyAt, insertAt;
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (auto s = SectionOf(lines[i])) {
      inSection = !sectionAt && SameName(*s, section);
      if (inSection) sectionAt = i, insertAt = i + 1;
    } else if (inSection) {
      auto entry = EntryOf(lines[i]);
      if (entry) insertAt = i + 1;
      if (entry && SameName(entry->first, key)) {
        keyAt = i;
        break;
      }
    }
  }
  const std::string entry = key + "=" + value;
  if (keyAt) {
    lines[*keyAt] = entry;
  } else if (insertAt) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), entry);
  } else {
    lines.push_back("[" + section + "]");
    lines.push_back(entry);
  }
}

}  // namespace

bool IniFile::Replace(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines)
    text += line + "\r\n";
  const std::string temp = TempNameBeside(path_);
  if (!WriteFileDurably(temp, text)) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    return false;
  }
  if (!MoveIntoPlace(temp, path_)) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    return false;
  }
  return true;
}

bool IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
  const SaveTurn turn(path_);
  // A file that is there but cannot be read must not be replaced by one that
  // holds only this key: everything else in it would be lost.
  auto lines = ReadLines();
  if (!lines) return false;
  SetEntry(*lines, section, key, value);
  return Replace(*lines);
}

bool IniFile::WriteIntegers(const std::string& section,
                            std::initializer_list<std::pair<const char*, int32_t>> values) {
  const SaveTurn turn(path_);
  auto lines = ReadLines();
  if (!lines) return false;
  for (const auto& [key, value] : values)
    SetEntry(*lines, section, key, std::to_string(value));
  return Replace(*lines);
}

bool IniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  return WriteString(section, key, std::to_string(value));
}
