// 4-byte values as the meters store them. The 3x meters' memory and the
// GDZ-12.08's register pairs keep them most significant byte first; the
// GDZ-12.07S keeps its floats least significant byte first. The engines and
// every driver take them from here.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>

using Bytes4 = std::array<uint8_t, 4>;

inline uint32_t BigEndianU32(std::span<const uint8_t, 4> b) {
  return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
}
inline uint32_t LittleEndianU32(std::span<const uint8_t, 4> b) {
  return uint32_t{b[3]} << 24 | uint32_t{b[2]} << 16 | uint32_t{b[1]} << 8 | b[0];
}
inline Bytes4 BigEndianBytes(uint32_t v) {
  return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}
inline Bytes4 LittleEndianBytes(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}
inline float FloatFromBits(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}
inline uint32_t BitsOfFloat(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  return bits;
}
