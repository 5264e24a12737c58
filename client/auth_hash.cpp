#include "client/auth_hash.h"

#include <mbedtls/base64.h>
#include <mbedtls/sha256.h>

std::string Base64Sha256(const std::string& first, const std::string& second)
{
    unsigned char digest[32];
    mbedtls_sha256_context sha;
    mbedtls_sha256_init(&sha);
    mbedtls_sha256_starts_ret(&sha, 0);
    mbedtls_sha256_update_ret(&sha, reinterpret_cast<const unsigned char*>(first.data()), first.size());
    mbedtls_sha256_update_ret(&sha, reinterpret_cast<const unsigned char*>(second.data()), second.size());
    mbedtls_sha256_finish_ret(&sha, digest);
    mbedtls_sha256_free(&sha);

    unsigned char encoded[64 + 1];
    size_t length = 0;
    if (mbedtls_base64_encode(encoded, sizeof(encoded), &length, digest, sizeof(digest)) != 0) {
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(encoded), length);
}
