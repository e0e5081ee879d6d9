// Multiplication in GF(2^8) modulo x^8 + x^4 + x^3 + x^2 + 1, the field of
// Whirlpool's MixRows. Static, so that each file that builds tables with it
// keeps its own copy: the compression files are compiled for different
// instruction sets, and the linker must not pick one copy for all of them.
#pragma once

#include <cstdint>

static constexpr uint8_t Times(uint8_t a, uint8_t b) {
    uint8_t product = 0;
    for (; b; b >>= 1) {
        if (b & 1) product ^= a;
        a = static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1D : 0));
    }
    return product;
}
