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

// Entry of table c for column c of old row (i - c) mod 8; column bytes are
// picked from the local copy with byte loads.
#define ENTRY(c, old, i) WhirlpoolTables[c][(old)[8 * (((i) - (c)) & 7) + (c)]]

// New row i from the old rows, XORed with the halves addLow and addHigh.
#define ROW(rows, old, i, addLow, addHigh)                                                      \
    do {                                                                                        \
        const uint8_t* e0 = ENTRY(0, old, i);                                                   \
        const uint8_t* e1 = ENTRY(1, old, i);                                                   \
        const uint8_t* e2 = ENTRY(2, old, i);                                                   \
        const uint8_t* e3 = ENTRY(3, old, i);                                                   \
        const uint8_t* e4 = ENTRY(4, old, i);                                                   \
        const uint8_t* e5 = ENTRY(5, old, i);                                                   \
        const uint8_t* e6 = ENTRY(6, old, i);                                                   \
        const uint8_t* e7 = ENTRY(7, old, i);                                                   \
        StoreHalf((rows) + 8 * (i), LoadHalf(e0) ^ LoadHalf(e1) ^ LoadHalf(e2) ^ LoadHalf(e3)   \
                                        ^ LoadHalf(e4) ^ LoadHalf(e5) ^ LoadHalf(e6)            \
                                        ^ LoadHalf(e7) ^ (addLow));                             \
        StoreHalf((rows) + 8 * (i) + 4, LoadHalf(e0 + 4) ^ LoadHalf(e1 + 4) ^ LoadHalf(e2 + 4)  \
                                            ^ LoadHalf(e3 + 4) ^ LoadHalf(e4 + 4)               \
                                            ^ LoadHalf(e5 + 4) ^ LoadHalf(e6 + 4)               \
                                            ^ LoadHalf(e7 + 4) ^ (addHigh));                    \
    } while (0)

void CompressBlockScalar(uint8_t* stateBytes, const uint8_t* blockBytes) {
    alignas(8) uint8_t key[64];
    alignas(8) uint8_t state[64];
    alignas(8) uint8_t newKey[64];
    alignas(8) uint8_t newState[64];
    for (int n = 0; n < 64; n += 4) {
        uint32_t h = LoadHalf(stateBytes + n);
        StoreHalf(key + n, h);
        StoreHalf(state + n, h ^ LoadHalf(blockBytes + n));
    }

    for (int r = 0; r < 10; r++) {
        // The round constant touches row 0 of the key only.
        const uint8_t* constant = RoundConstants + 8 * r;
        ROW(newKey, key, 0, LoadHalf(constant), LoadHalf(constant + 4));
        ROW(newKey, key, 1, 0, 0);
        ROW(newKey, key, 2, 0, 0);
        ROW(newKey, key, 3, 0, 0);
        ROW(newKey, key, 4, 0, 0);
        ROW(newKey, key, 5, 0, 0);
        ROW(newKey, key, 6, 0, 0);
        ROW(newKey, key, 7, 0, 0);
        ROW(newState, state, 0, LoadHalf(newKey + 0), LoadHalf(newKey + 4));
        ROW(newState, state, 1, LoadHalf(newKey + 8), LoadHalf(newKey + 12));
        ROW(newState, state, 2, LoadHalf(newKey + 16), LoadHalf(newKey + 20));
        ROW(newState, state, 3, LoadHalf(newKey + 24), LoadHalf(newKey + 28));
        ROW(newState, state, 4, LoadHalf(newKey + 32), LoadHalf(newKey + 36));
        ROW(newState, state, 5, LoadHalf(newKey + 40), LoadHalf(newKey + 44));
        ROW(newState, state, 6, LoadHalf(newKey + 48), LoadHalf(newKey + 52));
        ROW(newState, state, 7, LoadHalf(newKey + 56), LoadHalf(newKey + 60));
        for (int n = 0; n < 64; n += 4) {
            StoreHalf(key + n, LoadHalf(newKey + n));
            StoreHalf(state + n, LoadHalf(newState + n));
        }
    }

    for (int n = 0; n < 64; n += 4) {
        StoreHalf(stateBytes + n, LoadHalf(state + n) ^ LoadHalf(stateBytes + n) ^ LoadHalf(blockBytes + n));
    }
}
