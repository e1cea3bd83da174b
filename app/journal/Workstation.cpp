#include "Workstation.h"

#include <algorithm>
#include <random>

#include "JournalFile.h"

namespace {

bool SafeChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.';
}

// The computer's name as a part of an id: the characters an id may hold, at
// most 40 of them.
std::string HostPart() {
  std::string host;
  for (const char c : HostName())
    if (SafeChar(c) && host.size() < 40) host += c;
  return host.empty() ? std::string("ws") : host;
}

}  // namespace

bool IsWorkstationId(const std::string& text) {
  return !text.empty() && text.size() <= 64 && text != "." && text != ".." &&
         std::all_of(text.begin(), text.end(), SafeChar);
}

std::string StoredWorkstationId(const IniFile& ini) {
  const std::string id = ini.ReadString(kDepartmentSection, "Workstation", "");
  const std::string host = ini.ReadString(kDepartmentSection, "WorkstationHost", "");
  return IsWorkstationId(id) && host == HostName() ? id : std::string();
}

std::string EnsureWorkstationId(IniFile& ini) {
  std::string id = StoredWorkstationId(ini);
  if (!id.empty()) return id;
  std::random_device device;
  std::mt19937 random(device());
  static constexpr char kDigits[] = "0123456789abcdef";
  id = HostPart() + "-";
  for (int i = 0; i < 8; ++i)
    id += kDigits[random() & 0xF];
  ini.WriteString(kDepartmentSection, "Workstation", id);
  ini.WriteString(kDepartmentSection, "WorkstationHost", HostName());
  return id;
}
