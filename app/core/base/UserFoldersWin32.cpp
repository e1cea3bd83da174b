#include <cstdlib>

#include "app/core/settings/SettingsPlace.h"

// %APPDATA%\Calibrate for the settings and the journal alike (the roaming
// profile follows the engineer between machines of a domain).
UserFolders CurrentUserFolders() {
  const char* appData = std::getenv("APPDATA");
  const std::filesystem::path base =
      appData && *appData ? std::filesystem::path(appData) : std::filesystem::current_path();
  return {base / "Calibrate", base / "Calibrate"};
}
