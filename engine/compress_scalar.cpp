// Whirlpool compression in 32-bit general registers: runs on any x86 processor.
#include <cstring>

#include "engine/whirlpool.h"

#if __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "rows and table entries are read as little-endian words"
#endif

static inline uint32_t LoadHalf(const uint8_t* bytes) {
    uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

static inline void StoreHalf(uint8_t* bytes, uint32_t value) { std::memcpy(bytes, &value, 4); }

// Entry of table c for column c of the source row (i - c) mod 8.
#define ENTRY(c, src, i) WhirlpoolTables[c][(src)[8 * (((i) - (c)) & 7) + (c)]]

// New row i of dst from the old rows of src, XORed with the row i of add.
#define ROW(dst, src, add, i)                                                                   \
    do {                                                                                        \
        const uint8_t* e0 = ENTRY(0, src, i);                                                   \
        const uint8_t* e1 = ENTRY(1, src, i);                                                   \
        const uint8_t* e2 = ENTRY(2, src, i);                                                   \
        const uint8_t* e3 = ENTRY(3, src, i);                                                   \
        const uint8_t* e4 = ENTRY(4, src, i);                                                   \
        const uint8_t* e5 = ENTRY(5, src, i);                                                   \
        const uint8_t* e6 = ENTRY(6, src, i);                                                   \
        const uint8_t* e7 = ENTRY(7, src, i);                                                   \
        uint32_t low = LoadHalf(e0) ^ LoadHalf(e1) ^ LoadHalf(e2) ^ LoadHalf(e3) ^ LoadHalf(e4) \
            ^ LoadHalf(e5) ^ LoadHalf(e6) ^ LoadHalf(e7) ^ LoadHalf((add) + 8 * (i));           \
        uint32_t high = LoadHalf(e0 + 4) ^ LoadHalf(e1 + 4) ^ LoadHalf(e2 + 4)                  \
            ^ LoadHalf(e3 + 4) ^ LoadHalf(e4 + 4) ^ LoadHalf(e5 + 4) ^ LoadHalf(e6 + 4)         \
            ^ LoadHalf(e7 + 4) ^ LoadHalf((add) + 8 * (i) + 4);                                 \
        StoreHalf((dst) + 8 * (i), low);                                                        \
        StoreHalf((dst) + 8 * (i) + 4, high);                                                   \
    } while (0)

void CompressBlockScalar() {
    alignas(16) uint8_t key[64];
    alignas(16) uint8_t state[64];
    alignas(16) uint8_t newKey[64];
    alignas(16) uint8_t newState[64];
    alignas(16) uint8_t roundConstant[64] = {};
    std::memcpy(key, StatePtr, 64);
    for (int n = 0; n < 64; n += 4) StoreHalf(state + n, LoadHalf(BlockPtr + n) ^ LoadHalf(key + n));

    for (int r = 0; r < 10; r++) {
        std::memcpy(roundConstant, RoundConstants + 8 * r, 8);
        ROW(newKey, key, roundConstant, 0);
        ROW(newKey, key, roundConstant, 1);
        ROW(newKey, key, roundConstant, 2);
        ROW(newKey, key, roundConstant, 3);
        ROW(newKey, key, roundConstant, 4);
        ROW(newKey, key, roundConstant, 5);
        ROW(newKey, key, roundConstant, 6);
        ROW(newKey, key, roundConstant, 7);
        ROW(newState, state, newKey, 0);
        ROW(newState, state, newKey, 1);
        ROW(newState, state, newKey, 2);
        ROW(newState, state, newKey, 3);
        ROW(newState, state, newKey, 4);
        ROW(newState, state, newKey, 5);
        ROW(newState, state, newKey, 6);
        ROW(newState, state, newKey, 7);
        std::memcpy(key, newKey, 64);
        std::memcpy(state, newState, 64);
    }

    for (int n = 0; n < 64; n += 4) {
        StoreHalf(StatePtr + n, LoadHalf(state + n) ^ LoadHalf(StatePtr + n) ^ LoadHalf(BlockPtr + n));
    }
}
