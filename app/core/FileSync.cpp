#include "FileSync.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define FlushDescriptor(fd) _commit(fd)
#define DescriptorOf(f) _fileno(f)
#else
#include <unistd.h>
#define FlushDescriptor(fd) fsync(fd)
#define DescriptorOf(f) fileno(f)
#endif

bool WriteFileDurably(const std::string& path, const std::string& contents) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(contents.data(), 1, contents.size(), f) == contents.size();
  ok = std::fflush(f) == 0 && ok;
  ok = FlushDescriptor(DescriptorOf(f)) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  return ok;
}
