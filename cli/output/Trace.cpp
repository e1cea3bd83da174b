#include "Trace.h"

#include <cstdio>

std::string Hex(std::span<const uint8_t> bytes) {
  std::string s;
  char b[4];
  for (uint8_t v : bytes) {
    std::snprintf(b, sizeof b, "%02X ", v);
    s += b;
  }
  return s;
}

LineTrace StderrTrace() {
  return {[](TraceDirection d, std::span<const uint8_t> bytes) {
            std::fprintf(stderr, "%s %s\n", d == TraceDirection::Sent ? ">>" : "<<",
                         Hex(bytes).c_str());
          },
          [](std::string_view note) {
            std::fprintf(stderr, "# %.*s\n", static_cast<int>(note.size()), note.data());
          }};
}
