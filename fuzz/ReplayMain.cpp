// Without libFuzzer: feeds every file of the directories (or the files) named
// on the command line to the harness once, so that the seed corpora and any
// kept findings run as ordinary tests with the ordinary compiler.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int Feed(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
    return 1;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  int failures = 0;
  size_t inputs = 0;
  for (int i = 1; i < argc; ++i) {
    const fs::path path = argv[i];
    std::vector<fs::path> files;
    if (fs::is_directory(path)) {
      for (const auto& entry : fs::directory_iterator(path))
        if (entry.is_regular_file()) files.push_back(entry.path());
      std::sort(files.begin(), files.end());
    } else {
      files.push_back(path);
    }
    for (const auto& file : files) {
      failures += Feed(file);
      ++inputs;
    }
  }
  std::printf("%zu inputs replayed\n", inputs);
  return failures == 0 && inputs > 0 ? 0 : 1;
}
