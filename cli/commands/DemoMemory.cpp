#include "DemoMemory.h"

#include <algorithm>

#include "app/core/base/FileSync.h"
#include "app/core/base/RegularFile.h"
#include "app/core/settings/SettingsPlace.h"
#include "sim/MeterState.h"

namespace fs = std::filesystem;

namespace {

// Larger than any state a demo line can reach: every byte of every area of
// its meters changed, in hexadecimal.
constexpr std::size_t kStateFileLimit = 8 * 1024 * 1024;

}  // namespace

fs::path DemoStateFile(const std::string& model) {
  return CurrentUserFolders().data / "demo" / (model + ".state");
}

bool LoadDemoState(const DemoMeter& demo, const fs::path& file, std::string& error) {
  std::error_code ec;
  if (!fs::exists(file, ec)) return true;
  std::string why;
  const auto text = ReadRegularFile(file, kStateFileLimit, why);
  if (!text) {
    error = file.string() + ": " + why;
    return false;
  }
  const auto meters = demo.Meters();
  if (!metersim::LoadMetersState(meters, *text, why)) {
    error = file.string() + ": " + why;
    return false;
  }
  return true;
}

bool SaveDemoState(const DemoMeter& demo, const fs::path& file, std::string& error) {
  const auto meters = demo.Meters();
  if (std::none_of(meters.begin(), meters.end(), [](const auto& m) { return m->WriteCount(); }))
    return true;
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  // Whole or not at all: a run stopped while saving leaves the last state.
  const std::string temporary = file.string() + ".tmp";
  if (ec || !WriteFileDurably(temporary, metersim::MetersStateText(meters)) ||
      !MoveIntoPlace(temporary, file.string())) {
    fs::remove(temporary, ec);
    error = "не удалось записать " + file.string();
    return false;
  }
  return true;
}

bool ForgetDemoState(const fs::path& file, std::string& error) {
  std::error_code ec;
  fs::remove(file, ec);
  if (!ec) return true;
  error = "не удалось удалить " + file.string() + ": " + ec.message();
  return false;
}
