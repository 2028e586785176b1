#pragma once
// Lower-case hex SHA-256 of some bytes, for what the update tests serve.
#include <openssl/evp.h>

#include <string>

namespace m470::test {

inline std::string Sha256Hex(const std::string& data) {
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(data.data(), data.size(), hash, &length, EVP_sha256(), nullptr);
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < length; ++i) (hex += kDigits[hash[i] >> 4]) += kDigits[hash[i] & 15];
    return hex;
}

}  // namespace m470::test
