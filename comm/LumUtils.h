// Helpers shared by both protocol engines and all calibration drivers: the
// engines' pause, byte-order and BCD conversion, the ModBus CRC and the words
// for every result code.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Result codes kept in LastError by every protocol component; 0 is success.
enum : uint32_t {
  lumOk = 0,
  lumErrWrite = 1,       // no port assigned, or writing to the port failed
  lumErrRead = 2,        // a reply byte did not arrive in time
  lumErrPacketSize = 3,  // a reply longer than the frame can hold
  lumErrAddress = 4,     // address check (3x), function code (ModBus), bad channel
  lumErrChecksum = 5,    // checksum or CRC of the reply wrong
  lumErrPortClosed = 6,  // the port is not open
  lumErrIntegrity = 7,   // data packet integrity
  lumErrRefused = 8,     // the meter refused the request: a ModBus exception reply
};

// Suspends the calling thread for ms milliseconds through the time hook;
// zero or negative durations return at once.
void Pause(int32_t ms);

// Reverses 4 bytes in place: the meters keep 32-bit numbers most significant
// byte first, the computer least significant first. Its own inverse.
void SwapBytes32(std::span<uint8_t, 4> bytes);
void SwapBytes32(uint32_t& value);
void SwapBytes32(float& value);

// Packed BCD (tens in the high nibble): 59 gives 0x59; 100 and above give 0xFF.
uint8_t ByteToBcd(uint8_t value);
// The number in a packed BCD byte, or nullopt when it is none or lies
// outside first..last (erased memory reads FF, which is none).
std::optional<uint8_t> BcdToByte(uint8_t bcd, unsigned first, unsigned last);

// The bytes in hexadecimal, two capital digits each: "55 00 FF " with spaced
// (a space after every byte, as traces print frames), "5500FF" without (as
// files keep bytes).
std::string HexDump(std::span<const uint8_t> bytes, bool spaced);

// Reflected CRC-16, polynomial 0xA001. From 0xFFFF this is the ModBus RTU CRC.
// An empty buffer returns the start value.
extern const std::array<uint16_t, 256> Crc16Table;
uint16_t Crc16(uint16_t start, std::span<const uint8_t> bytes);

// Words for the result codes 0 to 10 (9 and 10 are empty).
extern const std::array<std::string_view, 11> ResultMessages;
// The message for any code; codes above 10, which no operation produces, give "".
std::string_view ResultMessage(uint32_t code);
