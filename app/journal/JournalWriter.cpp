#include "JournalWriter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <map>
#include <system_error>

#include "DepartmentFolder.h"
#include "JournalFile.h"
#include "JournalLine.h"
#include "Sha256.h"
#include "app/core/base/RegularFile.h"

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

constexpr std::array<std::string_view, 4> kKinds = {"read", "snapshot", "write-started", "write"};
// Long enough for any model or serial number, short enough that a name of
// three parts stays far below every system's limit of 255.
constexpr size_t kPartLimit = 48;

bool SafeInFileName(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

std::string FileNamePart(std::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string part;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (SafeInFileName(c)) {
      part += ch;
    } else {
      part += '%';
      part += kDigits[c >> 4];
      part += kDigits[c & 0x0F];
    }
  }
  if (part.size() > kPartLimit)
    part = part.substr(0, kPartLimit - 9) + "~" + Sha256Hex(text).substr(0, 8);
  return part;
}

// Windows keeps these names for devices, whatever follows their first dot.
bool ReservedOnWindows(std::string_view name) {
  std::string stem(name.substr(0, name.find('.')));
  for (char& c : stem)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
  if (std::find(kDevices.begin(), kDevices.end(), stem) != kDevices.end()) return true;
  return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
         stem[3] >= '0' && stem[3] <= '9';
}

std::string Two(int n) {
  return (n < 10 ? "0" : "") + std::to_string(n);
}

std::string Calendar(int year, unsigned month, unsigned day, int h, int m, int s, int ms) {
  std::string text = std::to_string(year) + "-" + Two(static_cast<int>(month)) + "-" +
                     Two(static_cast<int>(day)) + "T" + Two(h) + ":" + Two(m) + ":" + Two(s) + ".";
  text += std::to_string(1000 + ms).substr(1);
  return text;
}

// ISO 8601 with milliseconds: "2025-03-01T09:15:42.120Z".
std::string UtcText(system_clock::time_point now) {
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{floor<milliseconds>(now - day)};
  return Calendar(static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()),
                  static_cast<int>(time.subseconds().count())) +
         "Z";
}

// The same moment on the computer's clock with its offset from UTC:
// "2025-03-01T12:15:42.120+03:00". UTC when the zone is unknown.
std::string LocalText(system_clock::time_point now) {
  const std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  if (!LocalCalendarTime(t, local)) return UtcText(now);
  const sys_days date = year{local.tm_year + 1900} / (local.tm_mon + 1) / local.tm_mday;
  const auto wall = date + hours{local.tm_hour} + minutes{local.tm_min} + seconds{local.tm_sec};
  const auto offset = duration_cast<minutes>(wall - system_clock::from_time_t(t));
  const int ms = static_cast<int>(
      (duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000 + 1000) % 1000);
  const auto m = static_cast<int>(offset.count() < 0 ? -offset.count() : offset.count());
  return Calendar(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                  static_cast<unsigned>(local.tm_mday), local.tm_hour, local.tm_min, local.tm_sec,
                  ms) +
         (offset.count() < 0 ? "-" : "+") + Two(m / 60) + ":" + Two(m % 60);
}

// seen: the last event of each other workstation's chain for the meter that
// this journal holds, so that a later merge can tell whether two visits knew
// of each other.
nlohmann::ordered_json LineFields(const JournalEvent& event,
                                  const std::unordered_map<std::string, std::string>& seen) {
  const auto now = system_clock::now();
  nlohmann::ordered_json fields;
  fields["format"] = 1;
  fields["kind"] = event.kind;
  fields["timeUtc"] = UtcText(now);
  fields["timeLocal"] = LocalText(now);
  fields["engineer"] = event.engineer;
  if (!event.reason.empty()) fields["reason"] = event.reason;
  fields["computer"] = event.computer.empty() ? HostName() : event.computer;
  if (!event.workstation.empty()) fields["workstation"] = event.workstation;
  if (!seen.empty()) {
    std::map<std::string, std::string> sorted(seen.begin(), seen.end());
    sorted.erase(event.workstation);
    if (!sorted.empty()) fields["seen"] = sorted;
  }
  fields["program"] = event.program;
  fields["port"] = event.port;
  fields["speed"] = event.speed;
  fields["address"] = event.address;
  fields["model"] = event.model;
  fields["serial"] = event.serial;
  fields["payload"] = event.payload;
  return fields;
}

JournalAppendResult Failed(std::string error) {
  JournalAppendResult result;
  result.error = std::move(error);
  return result;
}

}  // namespace

// Under the lock: the hash the next line must carry (that of the last valid
// line, or the genesis value) and whether the file ends in a newline. A last
// line that lacks only its newline is whole and counts; one cut shorter does
// not. Reads back from the end in growing steps, so that an append costs the
// size of the last line, not of the file.
bool FindChainEnd(JournalFile& file, std::string& prev, bool& endsInNewline, std::string& error) {
  prev = kJournalGenesis;
  endsInNewline = true;
  uint64_t size = 0;
  if (!file.Size(size, error)) return false;
  for (uint64_t step = 64 * 1024; size > 0; step *= 4) {
    const uint64_t from = size > step ? size - step : 0;
    std::string tail;
    if (!file.ReadAt(from, static_cast<size_t>(size - from), tail, error)) return false;
    if (tail.empty()) return true;
    endsInNewline = tail.back() == '\n';
    // Lines from the last back; the first one in the window may have begun
    // before it, unless the window starts the file.
    for (size_t end = endsInNewline ? tail.size() - 1 : tail.size(); end != std::string::npos;) {
      const size_t before = end == 0 ? std::string::npos : tail.rfind('\n', end - 1);
      if (before == std::string::npos && from > 0) break;
      const size_t begin = before == std::string::npos ? 0 : before + 1;
      const ParsedJournalLine line =
          ParseJournalLine(std::string_view(tail).substr(begin, end - begin));
      if (line.valid) {
        prev = line.hash;
        return true;
      }
      end = before;
    }
    if (from == 0) return true;
  }
  return true;
}

std::string JournalFileName(const JournalEvent& event) {
  const std::string model = FileNamePart(event.model.empty() ? "unknown" : event.model);
  std::string name = event.serial.empty() ? model + "_" + FileNamePart(event.port) + "_addr" +
                                                std::to_string(event.address)
                                          : model + "_sn" + FileNamePart(event.serial);
  if (ReservedOnWindows(name)) name.insert(0, "_");
  return name + ".jsonl";
}

JournalWriter::JournalWriter(std::string dir, milliseconds lockWait)
    : dir_(std::move(dir)), lockWait_(lockWait) {}

JournalAppendResult JournalWriter::Append(const JournalEvent& event) const {
  try {
    if (std::find(kKinds.begin(), kKinds.end(), event.kind) == kKinds.end())
      return Failed("неизвестный вид события журнала \"" + event.kind + "\"");
    if (dir_.empty()) return Failed("папка журнала не задана");
    const fs::path dir = PathFromUtf8(dir_);
    std::error_code ec;
    if (!fs::is_directory(dir, ec) && !fs::create_directories(dir, ec))
      return Failed("не удалось создать папку журнала " + dir_ + ": " +
                    (ec ? ec.message() : "на её месте что-то другое"));
    const fs::path path = dir / JournalFileName(event);
    const std::string where = "журнал " + Utf8(path) + ": ";
    std::string error;
    if (fs::exists(path, ec) && !IsRegularFile(path, error)) return Failed(where + error);
    const auto file = JournalFile::Open(path, JournalFile::Access::Append, lockWait_, error);
    if (!file) return Failed(where + error);
    std::string prev;
    bool endsInNewline = true;
    if (!FindChainEnd(*file, prev, endsInNewline, error)) return Failed(where + error);
    const std::string line =
        MakeJournalLine(LineFields(event, SeenWorkstations(dir_, JournalFileName(event))), prev);
    // A line we would read back as damaged is no record (a payload that is no
    // JSON value, a digest the library could not make): refuse it here.
    const ParsedJournalLine check = ParseJournalLine(line);
    if (!check.valid || !check.hashMatches || check.prev != prev)
      return Failed(where + "событие не удаётся сохранить строкой журнала");
    // A line cut short before us gets its end here, in the same write, so
    // that ours starts a line of its own.
    if (!file->AppendDurably((endsInNewline ? "" : "\n") + line + "\n", error))
      return Failed(where + error);
    JournalAppendResult result;
    result.ok = true;
    result.id = JournalEventId(check.hash);
    result.file = Utf8(path);
    return result;
  } catch (const std::exception& e) {
    return Failed(std::string("не удалось дописать журнал: ") + e.what());
  } catch (...) {
    return Failed("не удалось дописать журнал");
  }
}

nlohmann::json ToJson(const JournalAppendResult& result) {
  nlohmann::json out = {{"ok", result.ok}};
  if (result.ok) {
    out["id"] = result.id;
    out["file"] = result.file;
  } else {
    out["error"] = result.error;
  }
  return out;
}
