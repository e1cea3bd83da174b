#include "ProgramDir.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>

static std::filesystem::path ProgramFile() {
  char buffer[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return {};
  return std::filesystem::path(std::string(buffer, n));
}
#else
static std::filesystem::path ProgramFile() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : p;
}
#endif

std::string ProgramDirectory() {
  const auto file = ProgramFile();
  if (file.empty()) return std::filesystem::current_path().string();
  return file.parent_path().string();
}
