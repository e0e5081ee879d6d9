// Whirlpool compression with the state in two ymm registers, for processors
// with AVX2. Built with AVX2 enabled; called only when CPUID and the OS say it
// can run.
#include "engine/field.h"
#include "engine/whirlpool.h"

#if defined(__AVX2__)
#include <immintrin.h>

// Register a holds rows 0-3, register b rows 4-7; row i is a qword, column j
// its byte j. The S-box is computed from its 4-bit mini-boxes with vpshufb:
// a = E[high nibble], b = E^-1[low nibble], r = R[a ^ b], and the result is
// E[a ^ r] in the high nibble, E^-1[b ^ r] in the low one. As multiplication
// by c is linear, c times the result is the sum of two more 16-entry lookups
// of c * (E[a ^ r] << 4) and c * E^-1[b ^ r]: MixRows needs no field
// arithmetic at all. Its term for t is the row times c[t] rotated by t bytes,
// c = (1, 1, 4, 1, 8, 5, 2, 9).

static constexpr uint8_t MiniE[16] = {1, 11, 9, 12, 13, 6, 15, 3, 14, 8, 7, 4, 10, 2, 5, 0};
static constexpr uint8_t MiniR[16] = {7, 12, 11, 13, 14, 4, 9, 15, 6, 3, 8, 10, 2, 5, 1, 0};

struct Lanes {
    alignas(32) uint8_t bytes[32];
};

// A 16-entry box in both 128-bit lanes, since vpshufb looks up within each;
// HighTimes and LowTimes are the products' boxes for multiplier c.
enum class Box { E, EInverse, R, HighTimes, LowTimes };
static constexpr Lanes BoxLanes(Box box, uint8_t c) {
    Lanes lanes{};
    for (int n = 0; n < 16; n++) {
        uint8_t inverse = 0;
        for (int m = 0; m < 16; m++) {
            if (MiniE[m] == n) inverse = static_cast<uint8_t>(m);
        }
        uint8_t value = box == Box::E ? MiniE[n]
                        : box == Box::EInverse ? inverse
                        : box == Box::R ? MiniR[n]
                        : box == Box::HighTimes ? Times(static_cast<uint8_t>(MiniE[n] << 4), c)
                                                : Times(inverse, c);
        lanes.bytes[n] = lanes.bytes[n + 16] = value;
    }
    return lanes;
}

// vpshufb control turning every qword left by t bytes.
static constexpr Lanes RotationLanes(int t) {
    Lanes lanes{};
    for (int q = 0; q < 32; q++) lanes.bytes[q] = static_cast<uint8_t>((q & 0x18) + ((q - t) & 7));
    return lanes;
}

// ShiftColumns moves byte (i, j) to (i + j mod 8, j). In a lane of two rows,
// byte j of the lane's row e (0 or 1) goes to row (e + j) mod 2 of the lane
// (e + j) / 2 lanes further on (mod 4): one vpshufb puts every byte at its
// place within its destination lane, then blends pick each byte's lane by how
// far it travels, one bit of that distance per blend.
static constexpr int Travel(int p) { return ((p >> 3) + (p & 7)) >> 1 & 3; }
static constexpr Lanes PlaceInLane() {
    Lanes lanes{};
    for (int p = 0; p < 16; p++) {
        int q = (((p >> 3) + (p & 7)) & 1) * 8 + (p & 7);
        lanes.bytes[q] = lanes.bytes[q + 16] = static_cast<uint8_t>(p);
    }
    return lanes;
}
static constexpr Lanes TravelBit(int bit) {
    Lanes lanes{};
    Lanes place = PlaceInLane();
    for (int q = 0; q < 32; q++) lanes.bytes[q] = (Travel(place.bytes[q]) >> bit & 1) ? 0x80 : 0;
    return lanes;
}

static constexpr Lanes BoxE = BoxLanes(Box::E, 1), BoxEInverse = BoxLanes(Box::EInverse, 1),
                       BoxR = BoxLanes(Box::R, 1);
static constexpr Lanes High1 = BoxLanes(Box::HighTimes, 1), Low1 = BoxLanes(Box::LowTimes, 1),
                       High2 = BoxLanes(Box::HighTimes, 2), Low2 = BoxLanes(Box::LowTimes, 2),
                       High4 = BoxLanes(Box::HighTimes, 4), Low4 = BoxLanes(Box::LowTimes, 4),
                       High8 = BoxLanes(Box::HighTimes, 8), Low8 = BoxLanes(Box::LowTimes, 8);
static constexpr Lanes Turn1 = RotationLanes(1), Turn2 = RotationLanes(2), Turn3 = RotationLanes(3),
                       Turn5 = RotationLanes(5), Turn6 = RotationLanes(6), Turn7 = RotationLanes(7);
static constexpr Lanes Place = PlaceInLane(), TravelOne = TravelBit(0), TravelTwo = TravelBit(1);

__attribute__((always_inline)) static inline __m256i Load(const Lanes& lanes) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes.bytes));
}

__attribute__((always_inline)) static inline __m256i Lookup(const Lanes& box, __m256i index) {
    return _mm256_shuffle_epi8(Load(box), index);
}

// MixRows(SubBytes(shifted)) + add for one register of four rows.
__attribute__((always_inline)) static inline __m256i MixedRows(__m256i shifted, __m256i add) {
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    __m256i a = Lookup(BoxE, _mm256_and_si256(_mm256_srli_epi16(shifted, 4), nibble));
    __m256i b = Lookup(BoxEInverse, _mm256_and_si256(shifted, nibble));
    __m256i r = Lookup(BoxR, _mm256_xor_si256(a, b));
    __m256i high = _mm256_xor_si256(a, r);
    __m256i low = _mm256_xor_si256(b, r);
    __m256i s1 = _mm256_xor_si256(Lookup(High1, high), Lookup(Low1, low));
    __m256i s2 = _mm256_xor_si256(Lookup(High2, high), Lookup(Low2, low));
    __m256i s4 = _mm256_xor_si256(Lookup(High4, high), Lookup(Low4, low));
    __m256i s8 = _mm256_xor_si256(Lookup(High8, high), Lookup(Low8, low));
    __m256i s5 = _mm256_xor_si256(s4, s1);
    __m256i s9 = _mm256_xor_si256(s8, s1);
    __m256i sum = _mm256_xor_si256(_mm256_xor_si256(s1, add),
                                   _mm256_shuffle_epi8(s1, Load(Turn1)));
    sum = _mm256_xor_si256(sum, _mm256_xor_si256(_mm256_shuffle_epi8(s4, Load(Turn2)),
                                                 _mm256_shuffle_epi8(s1, Load(Turn3))));
    // Turning by 4 bytes swaps the dwords of each qword.
    sum = _mm256_xor_si256(sum, _mm256_xor_si256(_mm256_shuffle_epi32(s8, 0xB1),
                                                 _mm256_shuffle_epi8(s5, Load(Turn5))));
    return _mm256_xor_si256(sum, _mm256_xor_si256(_mm256_shuffle_epi8(s2, Load(Turn6)),
                                                  _mm256_shuffle_epi8(s9, Load(Turn7))));
}

// One round on rows a (0-3) and b (4-7), adding addA and addB. SubBytes acts
// on each byte alone, so ShiftColumns may come first.
__attribute__((always_inline)) static inline void Round(__m256i* a, __m256i* b, __m256i addA, __m256i addB) {
    __m256i p = _mm256_shuffle_epi8(*a, Load(Place));
    __m256i q = _mm256_shuffle_epi8(*b, Load(Place));
    __m256i u = _mm256_permute2x128_si256(q, p, 0x21);  // rows 6, 7 | rows 0, 1
    __m256i v = _mm256_permute2x128_si256(p, q, 0x21);  // rows 2, 3 | rows 4, 5
    __m256i x = _mm256_blendv_epi8(p, u, Load(TravelOne));
    __m256i y = _mm256_blendv_epi8(q, v, Load(TravelOne));
    __m256i shiftedA = _mm256_blendv_epi8(x, y, Load(TravelTwo));
    __m256i shiftedB = _mm256_blendv_epi8(y, x, Load(TravelTwo));
    *a = MixedRows(shiftedA, addA);
    *b = MixedRows(shiftedB, addB);
}

void CompressBlockAvx2(uint8_t* stateBytes, const uint8_t* blockBytes) {
    __m256i hashA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(stateBytes));
    __m256i hashB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(stateBytes + 32));
    __m256i blockA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blockBytes));
    __m256i blockB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blockBytes + 32));
    __m256i keyA = hashA, keyB = hashB;
    __m256i stateA = _mm256_xor_si256(hashA, blockA), stateB = _mm256_xor_si256(hashB, blockB);
    const __m256i zero = _mm256_setzero_si256();
    // The key schedule never waits for the state, and each state round needs
    // its key only at its last XOR: the two chains run side by side.
    for (int r = 0; r < 10; r++) {
        // The round constant touches row 0 only.
        __m256i constant = _mm256_zextsi128_si256(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(RoundConstants + 8 * r)));
        Round(&keyA, &keyB, constant, zero);
        Round(&stateA, &stateB, keyA, keyB);
    }
    stateA = _mm256_xor_si256(stateA, _mm256_xor_si256(hashA, blockA));
    stateB = _mm256_xor_si256(stateB, _mm256_xor_si256(hashB, blockB));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(stateBytes), stateA);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(stateBytes + 32), stateB);
}

#elif defined(__i386__) || defined(__x86_64__)
#error "compress_avx2.cpp must be built with -mavx2"
#else
void CompressBlockAvx2(uint8_t* state, const uint8_t* block) { CompressBlockScalar(state, block); }
#endif
