#include "tools/simulator/sim_auth.h"

#include <mbedtls/base64.h>
#include <mbedtls/sha256.h>

#include <random>

namespace {

std::string Base64(const unsigned char* data, size_t length)
{
    unsigned char out[128];
    size_t written = 0;
    if (length > 64 || mbedtls_base64_encode(out, sizeof out, &written, data, length) != 0)
        return std::string();
    return std::string(reinterpret_cast<const char*>(out), written);
}

} // namespace

std::string SimRandomToken()
{
    std::random_device source;
    unsigned char bytes[32];
    for (unsigned char& byte : bytes)
        byte = static_cast<unsigned char>(source() & 0xFFu);
    return Base64(bytes, sizeof bytes);
}

std::string SimHashText(const std::string& text)
{
    unsigned char digest[32];
    mbedtls_sha256_ret(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest, 0);
    return Base64(digest, sizeof digest);
}

std::string SimExpectedAuth(const std::string& authHash, const std::string& challenge)
{
    return SimHashText(authHash + challenge);
}
