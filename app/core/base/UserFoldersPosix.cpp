#include <cstdlib>

#include "app/core/settings/SettingsPlace.h"

UserFolders CurrentUserFolders() {
  return XdgUserFolders(std::getenv("XDG_CONFIG_HOME"), std::getenv("XDG_DATA_HOME"),
                        std::getenv("HOME"));
}
