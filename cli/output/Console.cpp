#include "Console.h"

size_t Utf8WholePrefix(std::string_view bytes) {
  const size_t n = bytes.size();
  for (size_t back = 1; back <= 4 && back <= n; ++back) {
    const auto b = static_cast<unsigned char>(bytes[n - back]);
    if ((b & 0xC0) == 0x80) continue;  // a continuation byte: the lead is further back
    const size_t length = b >= 0xF8 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    return length > back ? n - back : n;
  }
  return n;  // no lead byte near the end: nothing that more bytes could complete
}
