// The meter's side of the two wire formats. Written apart from the master's
// engines on purpose: a mistake made the same way on both sides would
// otherwise pass every test.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace metersim {

// 3x frames: start byte (0x55 request, 0xAA reply), address, its bitwise NOT,
// group, command, length L, L data bytes, and the bitwise NOT of the 8-bit sum
// of everything before it.
inline constexpr uint8_t kRequestStart = 0x55;
inline constexpr uint8_t kReplyStart = 0xAA;

uint8_t Checksum3x(std::span<const uint8_t> bytes);
std::vector<uint8_t> Reply3x(uint8_t address, uint8_t group, uint8_t command,
                             std::span<const uint8_t> data);
// Puts a correct checksum into the last byte of a 3x frame (after a fault
// has changed a byte that the checksum covers).
void Reseal3x(std::vector<uint8_t>& frame);

// ModBus RTU: the CRC-16 of polynomial 0xA001 (reflected) from 0xFFFF, sent
// low byte first. Computed bit by bit here, not from a table.
uint16_t ModBusCrc(std::span<const uint8_t> bytes);
// Appends the CRC to a frame that holds address, function and data.
void AppendCrc(std::vector<uint8_t>& frame);
// Replaces the last two bytes of a frame by the CRC of the rest.
void ResealModBus(std::vector<uint8_t>& frame);
// address, function | 0x80, exception code, CRC.
std::vector<uint8_t> ModBusException(uint8_t address, uint8_t function, uint8_t code);

inline uint16_t BigEndian16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

}  // namespace metersim
