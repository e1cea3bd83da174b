#include "InspectorMode.h"

#include <cstdlib>
#include <mutex>
#include <system_error>

#include "app/core/base/ProgramDir.h"

namespace {

// Where an administrator keeps the installation's settings: a folder the
// user of the program cannot write to.
std::filesystem::path SystemFolder() {
#ifdef _WIN32
  const char* data = std::getenv("PROGRAMDATA");
  return data && *data ? std::filesystem::path(data) / "Calibrate" : std::filesystem::path();
#else
  return "/etc/calibrate";
#endif
}

std::mutex& HeldMutex() {
  static std::mutex mutex;
  return mutex;
}

InspectorMode& Held() {
  static InspectorMode mode;
  return mode;
}

}  // namespace

std::string InspectorMode::Reason() const {
  std::string why;
  const auto add = [&why](const std::string& text) { why += (why.empty() ? "" : "; ") + text; };
  if (commandLine) add("задан параметр --inspector");
  if (!settingsFile.empty()) add("в файле настроек " + settingsFile + " задано [Service] Writes=0");
  if (!installationFlag.empty()) add("администратор установки создал файл " + installationFlag);
  return why.empty() ? why : "режим проверки: запись в прибор запрещена (" + why + ")";
}

std::vector<std::filesystem::path> InspectorFlagFolders() {
  std::vector<std::filesystem::path> folders{ProgramDirectory()};
  if (const std::filesystem::path system = SystemFolder(); !system.empty())
    folders.push_back(system);
  if (const char* extra = std::getenv(kInspectorDirVariable); extra && *extra)
    folders.emplace_back(extra);
  return folders;
}

std::string FindInspectorFlag(const std::vector<std::filesystem::path>& folders) {
  for (const std::filesystem::path& folder : folders) {
    const std::filesystem::path flag = folder / kInspectorFlagName;
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(flag, ec);
    // Not there, or a folder of that name (a build tree may have one): no
    // flag. Anything else, a file or what cannot be looked at, is one.
    const bool missing = status.type() == std::filesystem::file_type::not_found ||
                         ec == std::errc::no_such_file_or_directory ||
                         ec == std::errc::not_a_directory;
    if (!missing && status.type() != std::filesystem::file_type::directory) return flag.string();
  }
  return {};
}

InspectorMode FindInspectorMode(bool commandLine, const Settings& settings,
                                const std::vector<std::filesystem::path>& folders) {
  InspectorMode mode;
  mode.commandLine = commandLine;
  if (!settings.WritesAllowed()) mode.settingsFile = settings.Path();
  mode.installationFlag = FindInspectorFlag(folders);
  return mode;
}

void HoldInspectorMode(const InspectorMode& mode) {
  const std::lock_guard<std::mutex> lock(HeldMutex());
  Held() = mode;
}

InspectorMode HeldInspectorMode() {
  const std::lock_guard<std::mutex> lock(HeldMutex());
  return Held();
}
