#include "reference_whirlpool.h"

#include <cstring>

static uint8_t Multiply(uint8_t a, uint8_t b) {
    uint8_t product = 0;
    while (b) {
        if (b & 1) product ^= a;
        a = static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1D : 0));
        b >>= 1;
    }
    return product;
}

static uint8_t Substitute(uint8_t u) {
    static const uint8_t E[16] = {0x1, 0xB, 0x9, 0xC, 0xD, 0x6, 0xF, 0x3,
                                  0xE, 0x8, 0x7, 0x4, 0xA, 0x2, 0x5, 0x0};
    static const uint8_t R[16] = {0x7, 0xC, 0xB, 0xD, 0xE, 0x4, 0x9, 0xF,
                                  0x6, 0x3, 0x8, 0xA, 0x2, 0x5, 0x1, 0x0};
    uint8_t inverseE[16];
    for (int n = 0; n < 16; n++) inverseE[E[n]] = static_cast<uint8_t>(n);
    uint8_t a = E[u >> 4];
    uint8_t b = inverseE[u & 15];
    uint8_t r = R[a ^ b];
    return static_cast<uint8_t>((E[a ^ r] << 4) | inverseE[b ^ r]);
}

// rho[key] = sigma[key] o theta o pi o gamma on an 8x8 matrix stored row by row.
static void Round(uint8_t m[64], const uint8_t key[64]) {
    static const uint8_t circulant[8] = {1, 1, 4, 1, 8, 5, 2, 9};
    uint8_t shifted[64];
    for (int i = 0; i < 8; i++) {
        for (int j = 0; j < 8; j++) shifted[8 * i + j] = Substitute(m[8 * ((i - j + 8) % 8) + j]);
    }
    for (int i = 0; i < 8; i++) {
        for (int j = 0; j < 8; j++) {
            uint8_t sum = 0;
            for (int k = 0; k < 8; k++) sum ^= Multiply(shifted[8 * i + k], circulant[(j - k + 8) % 8]);
            m[8 * i + j] = sum ^ key[8 * i + j];
        }
    }
}

void ReferenceCompress(uint8_t state[64], const uint8_t block[64]) {
    uint8_t key[64], cipher[64];
    std::memcpy(key, state, 64);
    for (int n = 0; n < 64; n++) cipher[n] = block[n] ^ key[n];
    for (int r = 1; r <= 10; r++) {
        uint8_t constant[64] = {};
        for (int j = 0; j < 8; j++) constant[j] = Substitute(static_cast<uint8_t>(8 * (r - 1) + j));
        Round(key, constant);
        Round(cipher, key);
    }
    for (int n = 0; n < 64; n++) state[n] ^= cipher[n] ^ block[n];
}

void ReferenceDigestWithLength(const uint8_t* data, size_t size, uint64_t lengthInBytes,
                               uint8_t digest[64]) {
    std::memset(digest, 0, 64);
    size_t whole = size - size % 64;
    for (size_t n = 0; n < whole; n += 64) ReferenceCompress(digest, data + n);
    // 0x80, zeros to 32 mod 64, then a 256-bit big-endian bit count.
    uint8_t tail[128] = {};
    size_t rest = size - whole;
    if (rest) std::memcpy(tail, data + whole, rest);
    tail[rest] = 0x80;
    size_t tailSize = rest + 1 + 32 <= 64 ? 64 : 128;
    uint64_t bits = lengthInBytes * 8;
    for (int n = 0; n < 8; n++) tail[tailSize - 1 - n] = static_cast<uint8_t>(bits >> (8 * n));
    for (size_t n = 0; n < tailSize; n += 64) ReferenceCompress(digest, tail + n);
}

void ReferenceDigest(const uint8_t* data, size_t size, uint8_t digest[64]) {
    ReferenceDigestWithLength(data, size, size, digest);
}
