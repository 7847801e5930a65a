#include "storage/sha256.h"

#include <nettle/sha2.h>

namespace accessodbc {

std::string sha256Hex(const std::string &data)
{
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, data.size(), reinterpret_cast<const uint8_t *>(data.data()));
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, SHA256_DIGEST_SIZE, digest);
    static const char hexDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * SHA256_DIGEST_SIZE);
    for (uint8_t byte : digest) {
        hex += hexDigits[byte >> 4];
        hex += hexDigits[byte & 0x0f];
    }
    return hex;
}

} // namespace accessodbc
