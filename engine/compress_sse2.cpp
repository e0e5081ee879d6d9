// Whirlpool compression with each row in a 64-bit lane of an SSE2 register.
// The only file built with SSE2 enabled.
#include "engine/whirlpool.h"

#if defined(__SSE2__)
#include <emmintrin.h>

static inline __m128i LoadRow(const uint8_t* bytes) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes));
}

static inline void StoreRow(uint8_t* bytes, __m128i row) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(bytes), row);
}

#define ENTRY(c, src, i) LoadRow(WhirlpoolTables[c][(src)[8 * (((i) - (c)) & 7) + (c)]])

// New row i of dst from the old rows of src, XORed with the row `add`.
#define ROW(dst, src, add, i)                                                                   \
    StoreRow((dst) + 8 * (i),                                                                   \
             _mm_xor_si128(                                                                     \
                 _mm_xor_si128(_mm_xor_si128(ENTRY(0, src, i), ENTRY(1, src, i)),               \
                               _mm_xor_si128(ENTRY(2, src, i), ENTRY(3, src, i))),              \
                 _mm_xor_si128(_mm_xor_si128(_mm_xor_si128(ENTRY(4, src, i), ENTRY(5, src, i)), \
                                             _mm_xor_si128(ENTRY(6, src, i), ENTRY(7, src, i))), \
                               (add))))

void CompressBlockSse2() {
    alignas(16) uint8_t key[64];
    alignas(16) uint8_t state[64];
    alignas(16) uint8_t newKey[64];
    alignas(16) uint8_t newState[64];
    const __m128i zero = _mm_setzero_si128();
    for (int n = 0; n < 64; n += 16) {
        __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(StatePtr + n));
        __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(BlockPtr + n));
        _mm_store_si128(reinterpret_cast<__m128i*>(key + n), h);
        _mm_store_si128(reinterpret_cast<__m128i*>(state + n), _mm_xor_si128(h, m));
    }

    for (int r = 0; r < 10; r++) {
        ROW(newKey, key, LoadRow(RoundConstants + 8 * r), 0);
        ROW(newKey, key, zero, 1);
        ROW(newKey, key, zero, 2);
        ROW(newKey, key, zero, 3);
        ROW(newKey, key, zero, 4);
        ROW(newKey, key, zero, 5);
        ROW(newKey, key, zero, 6);
        ROW(newKey, key, zero, 7);
        ROW(newState, state, LoadRow(newKey + 0), 0);
        ROW(newState, state, LoadRow(newKey + 8), 1);
        ROW(newState, state, LoadRow(newKey + 16), 2);
        ROW(newState, state, LoadRow(newKey + 24), 3);
        ROW(newState, state, LoadRow(newKey + 32), 4);
        ROW(newState, state, LoadRow(newKey + 40), 5);
        ROW(newState, state, LoadRow(newKey + 48), 6);
        ROW(newState, state, LoadRow(newKey + 56), 7);
        for (int n = 0; n < 64; n += 16) {
            _mm_store_si128(reinterpret_cast<__m128i*>(key + n),
                            _mm_load_si128(reinterpret_cast<const __m128i*>(newKey + n)));
            _mm_store_si128(reinterpret_cast<__m128i*>(state + n),
                            _mm_load_si128(reinterpret_cast<const __m128i*>(newState + n)));
        }
    }

    for (int n = 0; n < 64; n += 16) {
        __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(StatePtr + n));
        __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(BlockPtr + n));
        __m128i s = _mm_load_si128(reinterpret_cast<const __m128i*>(state + n));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(StatePtr + n), _mm_xor_si128(_mm_xor_si128(s, h), m));
    }
}

#elif defined(__i386__) || defined(__x86_64__)
#error "compress_sse2.cpp must be built with -msse2"
#else
// No SSE2 on this processor family: the name stays, the work is the scalar routine's.
void CompressBlockSse2() { CompressBlockScalar(); }
#endif
