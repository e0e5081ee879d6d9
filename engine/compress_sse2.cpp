// Whirlpool compression with each row in a 64-bit lane of an SSE2 register.
// Built with SSE2 enabled; called only where CPUID reports SSE2.
#include "engine/whirlpool.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstring>

#if __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "rows and table entries are read as little-endian words"
#endif

// Four registers hold the eight new rows: pair q has row q in its low lane and
// row q + 4 in its high lane. Columns k and k + 4 of any old row j feed new
// rows j + k and j + k + 4 (mod 8), one pair, so each two lookups cost one
// movq, one movhpd and one pxor. The column bytes come from the old row's two
// 32-bit halves held in general registers: byte k of the low half is column k,
// byte k of the high half is column k + 4. The halves are kept in uintptr_t
// (32 bits on i686) so that on x86-64 a byte picked from bits 8-15 serves as an
// index without another zero-extending move.

static inline uint32_t LoadHalf(const uint8_t* bytes) {
    uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

static inline __m128i EntryLow(const uint8_t* tables, int table, uintptr_t x) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(tables + 2048 * table + 8 * x));
}

static inline __m128i EntryHigh(__m128i low, const uint8_t* tables, int table, uintptr_t x) {
    const double* entry = reinterpret_cast<const double*>(tables + 2048 * table + 8 * x);
    return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(low), entry));
}

// The empty asm keeps GCC from regrouping each pair's chain of XORs, which
// otherwise hoists the lookups and spills them.
static inline void Absorb(__m128i* pair, __m128i entries) {
    __asm__("" : "+x"(*pair));
    *pair = _mm_xor_si128(*pair, entries);
}

#define BYTE(half, k) (((half) >> (8 * (k))) & 0xFF)
// New rows j + k (low lane) and j + k + 4 (high lane): tables k and k + 4.
#define STRAIGHT(q, k) \
    Absorb(&pair##q, EntryHigh(EntryLow(tables, k, BYTE(low, k)), tables, (k) + 4, BYTE(high, k)))
// New rows j + k + 4 (low lane) and j + k (high lane): the same two lookups crossed.
#define CROSSED(q, k) \
    Absorb(&pair##q, EntryHigh(EntryLow(tables, (k) + 4, BYTE(high, k)), tables, k, BYTE(low, k)))
#define ROW(rows, j, first, second, third, fourth)       \
    do {                                                 \
        uintptr_t low = LoadHalf((rows) + 8 * (j));      \
        uintptr_t high = LoadHalf((rows) + 8 * (j) + 4); \
        first;                                           \
        second;                                          \
        third;                                           \
        fourth;                                          \
    } while (0)

// Adds the lookups of all eight old rows into the four pairs.
#define ALL_ROWS(rows)                                                            \
    ROW(rows, 0, STRAIGHT(0, 0), STRAIGHT(1, 1), STRAIGHT(2, 2), STRAIGHT(3, 3)); \
    ROW(rows, 1, STRAIGHT(1, 0), STRAIGHT(2, 1), STRAIGHT(3, 2), CROSSED(0, 3));  \
    ROW(rows, 2, STRAIGHT(2, 0), STRAIGHT(3, 1), CROSSED(0, 2), CROSSED(1, 3));   \
    ROW(rows, 3, STRAIGHT(3, 0), CROSSED(0, 1), CROSSED(1, 2), CROSSED(2, 3));    \
    ROW(rows, 4, CROSSED(0, 0), CROSSED(1, 1), CROSSED(2, 2), CROSSED(3, 3));     \
    ROW(rows, 5, CROSSED(1, 0), CROSSED(2, 1), CROSSED(3, 2), STRAIGHT(0, 3));    \
    ROW(rows, 6, CROSSED(2, 0), CROSSED(3, 1), STRAIGHT(0, 2), STRAIGHT(1, 3));   \
    ROW(rows, 7, CROSSED(3, 0), STRAIGHT(0, 1), STRAIGHT(1, 2), STRAIGHT(2, 3))

static inline void StorePair(uint8_t* rows, int q, __m128i pair) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(rows + 8 * q), pair);
    _mm_storeh_pd(reinterpret_cast<double*>(rows + 8 * q + 32), _mm_castsi128_pd(pair));
}

void CompressBlockSse2(uint8_t* stateBytes, const uint8_t* blockBytes) {
    alignas(16) uint8_t key[64];
    alignas(16) uint8_t state[64];
    const uint8_t* tables = WhirlpoolTables[0][0];
#if defined(__x86_64__)
    // Held in a register, the tables' base lets every lookup carry its table's
    // offset in the address; otherwise GCC spends a register on each table.
    __asm__("" : "+r"(tables));
#endif
    for (int n = 0; n < 64; n += 16) {
        __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(stateBytes + n));
        __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blockBytes + n));
        _mm_store_si128(reinterpret_cast<__m128i*>(key + n), h);
        _mm_store_si128(reinterpret_cast<__m128i*>(state + n), _mm_xor_si128(h, m));
    }

    for (int r = 0; r < 10; r++) {
        // The new key starts from the round constant, which touches row 0 only.
        __m128i pair0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(RoundConstants + 8 * r));
        __m128i pair1 = _mm_setzero_si128();
        __m128i pair2 = pair1;
        __m128i pair3 = pair1;
        ALL_ROWS(key);
        StorePair(key, 0, pair0);
        StorePair(key, 1, pair1);
        StorePair(key, 2, pair2);
        StorePair(key, 3, pair3);
        // The new state starts from the new key.
        ALL_ROWS(state);
        StorePair(state, 0, pair0);
        StorePair(state, 1, pair1);
        StorePair(state, 2, pair2);
        StorePair(state, 3, pair3);
    }

    for (int n = 0; n < 64; n += 16) {
        __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(stateBytes + n));
        __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blockBytes + n));
        __m128i s = _mm_load_si128(reinterpret_cast<const __m128i*>(state + n));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(stateBytes + n), _mm_xor_si128(_mm_xor_si128(s, h), m));
    }
}

#elif defined(__i386__) || defined(__x86_64__)
#error "compress_sse2.cpp must be built with -msse2"
#else
// No SSE2 on this processor family: the name stays, the work is the scalar routine's.
void CompressBlockSse2(uint8_t* stateBytes, const uint8_t* blockBytes) { CompressBlockScalar(); }
#endif
