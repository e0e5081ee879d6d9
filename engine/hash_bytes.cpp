// The Whirlpool digest of bytes in memory, for the small records kept beside
// a digest; files go through HashFile.
#include <cstring>

#include "engine/whirlpool.h"

void CompressPadding(uint8_t state[64], uint8_t* block, uint32_t used, uint64_t bitLength) {
    // 0x80, zeros, and the 256-bit big-endian bit length, whose upper 192
    // bits are zero; a second block where the length no longer fits.
    block[used++] = 0x80;
    if (used > 32) {
        std::memset(block + used, 0, 64 - used);
        CompressBlock(state, block);
        used = 0;
    }
    std::memset(block + used, 0, 56 - used);
    for (int n = 0; n < 8; n++) block[63 - n] = static_cast<uint8_t>(bitLength >> (8 * n));
    CompressBlock(state, block);
}

void HashBytes(const uint8_t* bytes, size_t length, uint8_t digest[64]) {
    std::memset(digest, 0, 64);
    size_t whole = length - length % 64;
    for (size_t at = 0; at < whole; at += 64) CompressBlock(digest, bytes + at);
    uint8_t block[64];
    std::memcpy(block, bytes + whole, length - whole);
    CompressPadding(digest, block, static_cast<uint32_t>(length - whole), static_cast<uint64_t>(length) << 3);
}
