// The QR code a report carries: its number and the SHA-256 of its data, so
// that a phone or a scanner reads back what "report verify" checks. The
// symbol comes from a maintained encoder, libqrencode, where the build has it
// (ReportQrencode.cpp); the mingw build has none and its reports go without
// the picture (ReportQrNone.cpp), the hash printed as text all the same.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

struct QrMatrix {
  int width = 0;              // modules a side, without the quiet zone
  std::vector<uint8_t> dark;  // width * width, row by row: 1 dark, 0 light
  bool Dark(int x, int y) const { return dark[static_cast<size_t>(y * width + x)] != 0; }
};

// The symbol of text taken as bytes (8-bit mode, error correction M, the
// smallest version it fits). Nullopt when the build has no encoder or the
// text does not fit.
std::optional<QrMatrix> EncodeQr(std::string_view text);
