// The Whirlpool digest of bytes in memory, for the small records kept beside
// a digest; files go through HashFile.
#include <cstring>

#include "engine/whirlpool.h"

void HashBytes(const uint8_t* bytes, size_t length, uint8_t digest[64]) {
    std::memset(digest, 0, 64);
    size_t whole = length - length % 64;
    for (size_t at = 0; at < whole; at += 64) CompressBlock(digest, bytes + at);
    // Padding: 0x80, zeros, and the 256-bit big-endian bit length.
    uint8_t block[64];
    size_t rest = length - whole;
    std::memcpy(block, bytes + whole, rest);
    block[rest++] = 0x80;
    if (rest > 32) {
        std::memset(block + rest, 0, 64 - rest);
        CompressBlock(digest, block);
        rest = 0;
    }
    std::memset(block + rest, 0, 64 - rest);
    uint64_t bitLength = static_cast<uint64_t>(length) << 3;
    for (int n = 0; n < 8; n++) block[63 - n] = static_cast<uint8_t>(bitLength >> (8 * n));
    CompressBlock(digest, block);
}
