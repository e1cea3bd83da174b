#include "Sha256.h"

std::string Sha256Hex(std::string_view data) {
  Sha256Digest digest;
  if (!ComputeSha256(data, digest)) return {};
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * digest.size());
  for (const uint8_t b : digest) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0x0F];
  }
  return hex;
}
