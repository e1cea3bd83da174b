// The settings file as anything may have left it. The first byte of the input
// picks a key and the value to save; the rest is the file's content.
//
// Properties: reading never fails or crashes; reading twice gives the same;
// a save of one key succeeds, reads back as saved, and leaves the value of
// every other key as it was; integers survive their way through the text in
// each spelling the file allows.
#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "FuzzLine.h"
#include "app/core/settings/IniFile.h"
#include "app/core/settings/Settings.h"

namespace {

struct Key {
  const char* section;
  const char* key;
};
// The program's keys, and a few spellings the file may hold them in.
constexpr std::array<Key, 8> kKeys = {{{"Sealmark", "Port"},
                                       {"Sealmark", "Baud"},
                                       {"Device1", "NB"},
                                       {"Device1", "NP"},
                                       {"Device1", "NR"},
                                       {"Device10", "NR"},
                                       {"device7", "nb"},
                                       {"Extra", "Value"}}};

// One scratch file for the whole run, on a memory file system where there is
// one (every save is flushed to the disk).
const std::string& ScratchPath() {
  static const std::string path = [] {
    namespace fs = std::filesystem;
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    const fs::path dir = base / ("calibrate-fuzz-ini-" + std::to_string(getpid()));
    fs::create_directories(dir);
    return (dir / "Calibrate.ini").string();
  }();
  return path;
}

std::array<std::optional<std::string>, kKeys.size()> ReadAll(const IniFile& ini) {
  std::array<std::optional<std::string>, kKeys.size()> values;
  for (size_t i = 0; i < kKeys.size(); ++i)
    values[i] = ini.ReadString(kKeys[i].section, kKeys[i].key);
  return values;
}

bool SameKey(const Key& a, const Key& b) {
  const auto same = [](std::string x, std::string y) {
    for (auto* s : {&x, &y})
      for (char& c : *s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return x == y;
  };
  return same(a.section, b.section) && same(a.key, b.key);
}

void CheckIntegers(int32_t v) {
  FUZZ_CHECK(IniFile::ParseInteger(std::to_string(v)) == v);
  char hex[16];
  std::snprintf(hex, sizeof hex, "$%X", static_cast<uint32_t>(v));
  FUZZ_CHECK(IniFile::ParseInteger(hex) == v);
  std::snprintf(hex, sizeof hex, "0x%x", static_cast<uint32_t>(v));
  FUZZ_CHECK(IniFile::ParseInteger(hex) == v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t pick = in.Byte();
  const int32_t value = static_cast<int32_t>(uint32_t{in.Word()} << 16 | in.Word());
  const auto content = in.Rest();
  CheckIntegers(value);

  const std::string& path = ScratchPath();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(content.data()),
              static_cast<std::streamsize>(content.size()));
  }

  Settings settings(path);
  (void)settings.Port();
  (void)settings.Baud();
  const TDelays delays = settings.LoadDelays();
  FUZZ_CHECK(settings.LoadDelays() == delays);

  IniFile& ini = settings.Ini();
  const auto before = ReadAll(ini);
  FUZZ_CHECK(ReadAll(ini) == before);
  // A text a key holds parses as ReadInteger says.
  for (size_t i = 0; i < kKeys.size(); ++i) {
    const int32_t read = ini.ReadInteger(kKeys[i].section, kKeys[i].key, -12345);
    if (!before[i]) {
      FUZZ_CHECK(read == -12345);
    } else {
      const auto parsed = IniFile::ParseInteger(*before[i]);
      FUZZ_CHECK(read == (parsed ? *parsed : -12345));
    }
  }

  const Key& key = kKeys[pick % kKeys.size()];
  FUZZ_CHECK(ini.WriteInteger(key.section, key.key, value));
  FUZZ_CHECK(ini.ReadInteger(key.section, key.key, value == 0 ? 1 : 0) == value);
  const auto after = ReadAll(ini);
  for (size_t i = 0; i < kKeys.size(); ++i)
    if (!SameKey(kKeys[i], key)) FUZZ_CHECK(after[i] == before[i]);
  return 0;
}
