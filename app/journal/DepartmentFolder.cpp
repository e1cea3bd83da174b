#include "DepartmentFolder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "JournalFile.h"
#include "JournalLine.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kExtension = ".jsonl";
constexpr const char* kReceivedFile = "received";
constexpr std::chrono::milliseconds kLockWait{3000};

// The meters' files directly in folder, by name.
bool FilesIn(const fs::path& folder, bool department, std::vector<JournalFileEntry>& files,
             std::string& error) {
  std::error_code ec;
  if (!fs::exists(folder, ec) && !ec) return true;
  std::vector<JournalFileEntry> found;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (Utf8(it->path().extension()) == kExtension && it->is_regular_file(typeError))
      found.push_back({Utf8(it->path()), department});
  }
  if (ec) {
    error = "не удалось просмотреть папку журнала " + Utf8(folder) + ": " + ec.message();
    return false;
  }
  std::sort(found.begin(), found.end(),
            [](const JournalFileEntry& a, const JournalFileEntry& b) { return a.path < b.path; });
  files.insert(files.end(), found.begin(), found.end());
  return true;
}

// Appends bytes after ending a line cut short, as the journal's own appends do.
bool AppendTo(const fs::path& path, const std::string& bytes, std::string& error) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (ec) {
    error = "не удалось создать папку " + Utf8(path.parent_path()) + ": " + ec.message();
    return false;
  }
  const auto file = JournalFile::Open(path, JournalFile::Access::Append, kLockWait, error);
  uint64_t size = 0;
  std::string last;
  if (!file || !file->Size(size, error) || (size > 0 && !file->ReadAt(size - 1, 1, last, error)) ||
      !file->AppendDurably((last.empty() || last == "\n" ? "" : "\n") + bytes, error)) {
    error = Utf8(path) + ": " + error;
    return false;
  }
  return true;
}

}  // namespace

bool IsDepartmentFile(const std::string& path) {
  return Utf8(PathFromUtf8(path).parent_path().filename()) == kDepartmentFolder;
}

bool ListJournalFiles(const std::string& dir, std::vector<JournalFileEntry>& files,
                      std::string& error) {
  return FilesIn(PathFromUtf8(dir), false, files, error) &&
         FilesIn(PathFromUtf8(dir) / kDepartmentFolder, true, files, error);
}

std::unordered_map<std::string, std::string> SeenWorkstations(const std::string& dir,
                                                              const std::string& fileName) {
  std::unordered_map<std::string, std::string> seen;
  const fs::path path = PathFromUtf8(dir) / kDepartmentFolder / PathFromUtf8(fileName);
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return seen;
  std::string error, text;
  uint64_t size = 0;
  const auto file = JournalFile::Open(path, JournalFile::Access::Read, kLockWait, error);
  if (!file || !file->Size(size, error) || !file->ReadAt(0, static_cast<size_t>(size), text, error))
    return seen;
  for (size_t begin = 0; begin < text.size();) {
    const size_t end = std::min(text.find('\n', begin), text.size());
    const ParsedJournalLine line =
        ParseJournalLine(std::string_view(text).substr(begin, end - begin));
    begin = end + 1;
    if (!line.valid || !line.hashMatches) continue;
    const auto ws = line.event.find("workstation");
    if (ws != line.event.end() && ws->is_string()) seen[ws->get<std::string>()] = line.hash;
  }
  return seen;
}

bool AppendDepartmentLines(const std::string& dir, const std::string& fileName,
                           const std::vector<std::string>& lines, std::string& error) {
  if (lines.empty()) return true;
  std::string bytes;
  for (const std::string& line : lines)
    bytes.append(line).append("\n");
  return AppendTo(PathFromUtf8(dir) / kDepartmentFolder / PathFromUtf8(fileName), bytes, error);
}

std::unordered_map<std::string, std::string> ReceivedTimes(const std::string& dir) {
  std::unordered_map<std::string, std::string> times;
  std::ifstream in(PathFromUtf8(dir) / kDepartmentFolder / kReceivedFile, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const size_t space = line.find(' ');
    if (space == 64 && line.size() > 65) times[line.substr(0, 64)] = line.substr(65);
  }
  return times;
}

bool AppendReceivedTimes(const std::string& dir,
                         const std::vector<std::pair<std::string, std::string>>& times,
                         std::string& error) {
  if (times.empty()) return true;
  std::string bytes;
  for (const auto& [hash, time] : times)
    bytes.append(hash).append(" ").append(time).append("\n");
  return AppendTo(PathFromUtf8(dir) / kDepartmentFolder / kReceivedFile, bytes, error);
}
