// Whirlpool (ISO/IEC 10118-3, final version): tables and the compression step.
#pragma once

#include <cstddef>
#include <cstdint>

extern const uint8_t SBox[256];
extern const uint8_t RoundConstants[80];
// C0 to C7: entry x of Ck holds, in memory order, the row (s, s, 4s, s, 8s, 5s,
// 2s, 9s) of s = SBox[x] turned k bytes towards the end.
extern uint8_t WhirlpoolTables[8][256][8];

// Absorbs the 64-byte block into the 64-byte state, in place; neither needs
// any alignment. State and block are arguments rather than shared pointers, so
// that threads need nothing of their own (a thread-local access is a library
// call per use in the MinGW builds). The routine is chosen once and shared.
typedef void (*BlockRoutine)(uint8_t* state, const uint8_t* block);
extern BlockRoutine CompressBlock;

// Each needs its instructions: AVX-512 F, BW and VBMI with GFNI; AVX2; SSE2.
void CompressBlockAvx512(uint8_t* state, const uint8_t* block);
void CompressBlockAvx2(uint8_t* state, const uint8_t* block);
void CompressBlockSse2(uint8_t* state, const uint8_t* block);
void CompressBlockScalar(uint8_t* state, const uint8_t* block);

// One block of each of LaneCount messages at once, lane n absorbing blocks[n]
// into states[n]: where one message leaves the vector unit waiting on the
// latency from round to round, the others' rounds fill the gaps. Every lane
// gets exactly what CompressBlock would give it. LaneCount is 1 (and
// CompressLanes unset) where interleaving gains nothing.
typedef void (*LanesRoutine)(uint8_t* const* states, const uint8_t* const* blocks);
extern LanesRoutine CompressLanes;
extern int LaneCount;
const int MaxLaneCount = 4;

// Three lanes: on Zen 5 a block takes 1/1.7 of its time alone with two
// messages side by side, 1/2.0 with three, and no less with four.
const int Avx512Lanes = 3;
void CompressLanesAvx512(uint8_t* const* states, const uint8_t* const* blocks);

// Fills the tables and chooses the fastest compression routines the processor
// and the OS support; call once at start-up, before any thread exists.
void BuildWhirlpoolTables();

// The last one or two blocks of a message: block holds its last used bytes
// (0 to 63) and room for 64; the padding is written over it and absorbed.
void CompressPadding(uint8_t state[64], uint8_t* block, uint32_t used, uint64_t bitLength);

// The digest of length bytes in memory; the tables must be built.
void HashBytes(const uint8_t* bytes, size_t length, uint8_t digest[64]);
