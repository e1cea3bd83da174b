#include "QrPng.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

std::array<uint32_t, 256> CrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k)
      c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

// The CRC-32 every PNG chunk ends with (ISO 3309, as zlib's crc32).
uint32_t Crc32(std::string_view bytes) {
  static const std::array<uint32_t, 256> table = CrcTable();
  uint32_t c = 0xFFFFFFFFu;
  for (const char b : bytes)
    c = table[(c ^ static_cast<uint8_t>(b)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

// The checksum that ends a zlib stream.
uint32_t Adler32(std::string_view bytes) {
  uint32_t a = 1, b = 0;
  for (const char c : bytes) {
    a = (a + static_cast<uint8_t>(c)) % 65521u;
    b = (b + a) % 65521u;
  }
  return (b << 16) | a;
}

void BigEndian(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out += static_cast<char>((v >> shift) & 0xFF);
}

void Chunk(std::string& png, const char* type, std::string_view data) {
  BigEndian(png, static_cast<uint32_t>(data.size()));
  std::string typed(type);
  typed.append(data);
  png += typed;
  BigEndian(png, Crc32(typed));
}

// A zlib stream of stored blocks: no compression, at most 65535 bytes a block.
std::string Stored(std::string_view raw) {
  std::string z = "\x78\x01";
  size_t at = 0;
  do {
    const size_t size = std::min<size_t>(raw.size() - at, 65535);
    const bool last = at + size == raw.size();
    z += static_cast<char>(last ? 1 : 0);
    z += static_cast<char>(size & 0xFF);
    z += static_cast<char>(size >> 8);
    z += static_cast<char>(~size & 0xFF);
    z += static_cast<char>((~size >> 8) & 0xFF);
    z.append(raw.substr(at, size));
    at += size;
  } while (at < raw.size());
  BigEndian(z, Adler32(raw));
  return z;
}

}  // namespace

std::string QrPng(const QrMatrix& m, int scale, int border) {
  const int side = (m.width + 2 * border) * scale;
  const size_t rowBytes = static_cast<size_t>(side + 7) / 8;
  std::string raw;
  for (int y = 0; y < side; ++y) {
    std::string row(rowBytes + 1, '\0');  // filter type 0, then the pixels; a set bit is white
    for (int x = 0; x < side; ++x) {
      const int mx = x / scale - border, my = y / scale - border;
      const bool dark = mx >= 0 && my >= 0 && mx < m.width && my < m.width && m.Dark(mx, my);
      if (!dark) row[1 + static_cast<size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
    }
    raw += row;
  }
  std::string header;
  BigEndian(header, static_cast<uint32_t>(side));
  BigEndian(header, static_cast<uint32_t>(side));
  header +=
      std::string("\x01\x00\x00\x00\x00", 5);  // 1 bit, greyscale, deflate, no filter, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", Stored(raw));
  Chunk(png, "IEND", {});
  return png;
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t n = 0; n < bytes.size(); n += 3) {
    uint32_t v = static_cast<uint32_t>(static_cast<uint8_t>(bytes[n])) << 16;
    if (n + 1 < bytes.size()) v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[n + 1])) << 8;
    if (n + 2 < bytes.size()) v |= static_cast<uint8_t>(bytes[n + 2]);
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += n + 1 < bytes.size() ? kDigits[(v >> 6) & 63] : '=';
    out += n + 2 < bytes.size() ? kDigits[v & 63] : '=';
  }
  return out;
}
