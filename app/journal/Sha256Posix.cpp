// SHA-256 through OpenSSL's libcrypto.
#include <openssl/evp.h>

#include "Sha256.h"

bool ComputeSha256(std::string_view data, Sha256Digest& digest) {
  unsigned int size = 0;
  return EVP_Digest(data.data(), data.size(), digest.data(), &size, EVP_sha256(), nullptr) == 1 &&
         size == digest.size();
}
