// Whirlpool (ISO/IEC 10118-3, final version): tables and the compression step.
#pragma once

#include <cstddef>
#include <cstdint>

extern const uint8_t SBox[256];
extern const uint8_t RoundConstants[80];
// C0 to C7: entry x of Ck holds, in memory order, the row (s, s, 4s, s, 8s, 5s,
// 2s, 9s) of s = SBox[x] turned k bytes towards the end.
extern uint8_t WhirlpoolTables[8][256][8];

// The compression reads its state and block through these two pointers; each
// thread has its own pair, so several threads may hash at once. The routine
// is chosen once and shared. Defined here, with no initialiser to run, so that
// every use is a plain thread-local access rather than a call to a wrapper.
inline thread_local uint8_t* StatePtr;
inline thread_local const uint8_t* BlockPtr;
extern void (*CompressBlock)();

// Each needs its instructions: AVX-512 F, BW and VBMI with GFNI; AVX2; SSE2.
void CompressBlockAvx512();
void CompressBlockAvx2();
void CompressBlockSse2();
void CompressBlockScalar();

// Fills the tables and chooses the fastest compression routine the processor
// and the OS support; call once at start-up, before any thread exists.
void BuildWhirlpoolTables();

// The digest of length bytes in memory; the tables must be built.
void HashBytes(const uint8_t* bytes, size_t length, uint8_t digest[64]);
