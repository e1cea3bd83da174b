// SHA-256 of a byte string. The digest comes from a maintained implementation,
// never our own: OpenSSL's libcrypto on POSIX (Sha256Posix.cpp), the system's
// CNG (BCrypt) on Windows (Sha256Win32.cpp); the build picks the file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

using Sha256Digest = std::array<uint8_t, 32>;

// Computes the digest of data into digest. False (digest unspecified) only when
// the library itself fails: out of memory, the algorithm provider missing.
bool ComputeSha256(std::string_view data, Sha256Digest& digest);

// The digest of data as 64 lowercase hexadecimal digits; an empty text when
// ComputeSha256 fails.
std::string Sha256Hex(std::string_view data);
