// Whirlpool compression with the whole 64-byte state in one zmm register, for
// processors with AVX-512 VBMI and GFNI. Built with those instructions enabled;
// called only when CPUID and the OS say they can run.
#include "engine/field.h"
#include "engine/whirlpool.h"

#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX512VBMI__) && defined(__GFNI__)
// GCC 12's own AVX-512 headers trip -Wuninitialized on their placeholder
// operands; the warning is about the header, not about this code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

// Row i of the state is qword i, column j its byte j. MixRows gives new byte j
// the sum over t of c[t] times old byte j - t, c = (1, 1, 4, 1, 8, 5, 2, 9): the
// term of t is the row times c[t] rotated left by 8t bits.

// Multiplication by c, which is linear over GF(2), as the 8x8 bit matrix of
// gf2p8affineqb: its byte 7 - i selects the input bits that sum to output bit i.
static constexpr long long MatrixOf(uint8_t c) {
    unsigned long long matrix = 0;
    for (int i = 0; i < 8; i++) {
        unsigned row = 0;
        for (int j = 0; j < 8; j++) row |= ((Times(c, static_cast<uint8_t>(1 << j)) >> i) & 1u) << j;
        matrix |= static_cast<unsigned long long>(row) << (8 * (7 - i));
    }
    return static_cast<long long>(matrix);
}

// ShiftColumns as a vpermb index: new byte (i, j) is old byte (i - j mod 8, j).
struct ByteIndex {
    alignas(64) uint8_t bytes[64];
};
static constexpr ByteIndex ShiftColumnsIndex() {
    ByteIndex index{};
    for (int i = 0; i < 8; i++) {
        for (int j = 0; j < 8; j++) index.bytes[8 * i + j] = static_cast<uint8_t>(8 * ((i - j) & 7) + j);
    }
    return index;
}
static constexpr ByteIndex ShiftColumns = ShiftColumnsIndex();

struct RoundTools {
    __m512i sbox0, sbox1, sbox2, sbox3;  // SBox in four quarters of 64 entries
    __m512i shift;
    __m512i times2, times4, times5, times8, times9;
};

// One round, MixRows(ShiftColumns(SubBytes(rows))) + add, where add is the
// round key or, for the key itself, the round constant. The S-box is two
// 128-entry permutes on the low 7 bits, chosen by the top bit.
__attribute__((always_inline)) static inline __m512i Round(const RoundTools& t, __m512i rows, __m512i add) {
    __mmask64 top = _mm512_movepi8_mask(rows);
    __m512i low = _mm512_permutex2var_epi8(t.sbox0, rows, t.sbox1);
    __m512i high = _mm512_permutex2var_epi8(t.sbox2, rows, t.sbox3);
    __m512i s = _mm512_permutexvar_epi8(t.shift, _mm512_mask_blend_epi8(top, low, high));
    __m512i s2 = _mm512_gf2p8affine_epi64_epi8(s, t.times2, 0);
    __m512i s4 = _mm512_gf2p8affine_epi64_epi8(s, t.times4, 0);
    __m512i s5 = _mm512_gf2p8affine_epi64_epi8(s, t.times5, 0);
    __m512i s8 = _mm512_gf2p8affine_epi64_epi8(s, t.times8, 0);
    __m512i s9 = _mm512_gf2p8affine_epi64_epi8(s, t.times9, 0);
    // 0x96: the three-way XOR.
    __m512i ones = _mm512_ternarylogic_epi64(s, _mm512_rol_epi64(s, 8), _mm512_rol_epi64(s, 24), 0x96);
    __m512i even = _mm512_ternarylogic_epi64(_mm512_rol_epi64(s4, 16), _mm512_rol_epi64(s8, 32),
                                             _mm512_rol_epi64(s2, 48), 0x96);
    __m512i odd = _mm512_ternarylogic_epi64(_mm512_rol_epi64(s5, 40), _mm512_rol_epi64(s9, 56), add, 0x96);
    return _mm512_ternarylogic_epi64(ones, even, odd, 0x96);
}

static inline RoundTools LoadRoundTools() {
    RoundTools t;
    t.sbox0 = _mm512_loadu_si512(SBox);
    t.sbox1 = _mm512_loadu_si512(SBox + 64);
    t.sbox2 = _mm512_loadu_si512(SBox + 128);
    t.sbox3 = _mm512_loadu_si512(SBox + 192);
    t.shift = _mm512_load_si512(ShiftColumns.bytes);
    t.times2 = _mm512_set1_epi64(MatrixOf(2));
    t.times4 = _mm512_set1_epi64(MatrixOf(4));
    t.times5 = _mm512_set1_epi64(MatrixOf(5));
    t.times8 = _mm512_set1_epi64(MatrixOf(8));
    t.times9 = _mm512_set1_epi64(MatrixOf(9));
    return t;
}

// Lanes messages side by side, each in its own registers; every round of each
// is issued before the next round of any.
template <int Lanes>
__attribute__((always_inline)) static inline void CompressSideBySide(uint8_t* const* states,
                                                                     const uint8_t* const* blocks) {
    RoundTools t = LoadRoundTools();
    __m512i key[Lanes], state[Lanes];
#pragma GCC unroll 4
    for (int n = 0; n < Lanes; n++) {
        key[n] = _mm512_loadu_si512(states[n]);
        state[n] = _mm512_xor_si512(key[n], _mm512_loadu_si512(blocks[n]));
    }
    // The key schedule never waits for the state, and each state round needs
    // its key only at its last XOR: the two chains run side by side.
    for (int r = 0; r < 10; r++) {
        // The round constant touches row 0 only.
        uint64_t constant;
        __builtin_memcpy(&constant, RoundConstants + 8 * r, 8);
        __m512i add = _mm512_maskz_set1_epi64(1, static_cast<long long>(constant));
#pragma GCC unroll 4
        for (int n = 0; n < Lanes; n++) {
            key[n] = Round(t, key[n], add);
            state[n] = Round(t, state[n], key[n]);
        }
    }
    // The chaining value and the block are read again rather than held in
    // registers through the rounds.
#pragma GCC unroll 4
    for (int n = 0; n < Lanes; n++) {
        __m512i hash = _mm512_loadu_si512(states[n]);
        __m512i block = _mm512_loadu_si512(blocks[n]);
        _mm512_storeu_si512(states[n], _mm512_ternarylogic_epi64(state[n], hash, block, 0x96));
    }
}

void CompressBlockAvx512(uint8_t* state, const uint8_t* block) { CompressSideBySide<1>(&state, &block); }

void CompressLanesAvx512(uint8_t* const* states, const uint8_t* const* blocks) {
    CompressSideBySide<Avx512Lanes>(states, blocks);
}

#elif defined(__i386__) || defined(__x86_64__)
#error "compress_avx512.cpp must be built with -mavx512f -mavx512bw -mavx512vbmi -mgfni"
#else
void CompressBlockAvx512(uint8_t* state, const uint8_t* block) { CompressBlockScalar(state, block); }
void CompressLanesAvx512(uint8_t* const* states, const uint8_t* const* blocks) {
    for (int n = 0; n < Avx512Lanes; n++) CompressBlockScalar(states[n], blocks[n]);
}
#endif
