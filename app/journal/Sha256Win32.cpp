// SHA-256 through the system's CNG (bcrypt.dll). The algorithm provider is
// opened once per process and kept: opening it is the costly step.
#include <windows.h>

#include <bcrypt.h>

#include <limits>

#include "Sha256.h"

namespace {

BCRYPT_ALG_HANDLE Sha256Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
      handle = nullptr;
    return handle;
  }();
  return provider;
}

}  // namespace

bool ComputeSha256(std::string_view data, Sha256Digest& digest) {
  const BCRYPT_ALG_HANDLE provider = Sha256Provider();
  if (!provider || data.size() > std::numeric_limits<ULONG>::max()) return false;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0))) return false;
  // BCryptHashData takes a non-const pointer but only reads through it.
  auto* input = reinterpret_cast<PUCHAR>(const_cast<char*>(data.data()));
  const bool ok =
      BCRYPT_SUCCESS(BCryptHashData(hash, input, static_cast<ULONG>(data.size()), 0)) &&
      BCRYPT_SUCCESS(BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
  BCryptDestroyHash(hash);
  return ok;
}
