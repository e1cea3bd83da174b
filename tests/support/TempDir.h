// A fresh, empty directory under the system's temporary directory, made the
// same way on every platform the tests run on (mkdtemp exists only on POSIX).
#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

inline std::string MakeTempDir(
    const std::string& prefix,
    const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
  namespace fs = std::filesystem;
  std::random_device seed;
  std::mt19937_64 pick(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path dir = base / (prefix + "-" + std::to_string(pick()));
    std::error_code ec;
    if (fs::create_directory(dir, ec)) return dir.string();
    if (ec) break;  // not a name clash: the temporary directory itself is unusable
  }
  throw std::runtime_error("cannot make a temporary directory for " + prefix);
}
