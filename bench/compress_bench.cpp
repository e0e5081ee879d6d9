// Time a block of each compression routine the processor runs, called the way
// HashFile calls it: through the routine pointer, block after block of a 64 KiB
// piece. Built for Linux and for Windows alike, so that compress_bench_vs.sh
// can set the two builds of the same routine side by side in one run.
//   compress_bench [rounds=9]
// Prints one line per routine: its name and the best nanoseconds per block.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/whirlpool.h"

const int PieceBlocks = 1024;
const int PiecesPerTiming = 16;

static uint8_t Piece[PieceBlocks * 64];
// Read after the timings, so that no compression can be left out.
static volatile uint8_t Sink;

struct BenchedRoutine {
    const char* name;
    void (*compress)();
    bool runs;
};

static double NanosecondsPerBlock(void (*routine)()) {
    uint8_t state[64] = {};
    auto start = std::chrono::steady_clock::now();
    CompressBlock = routine;
    for (int piece = 0; piece < PiecesPerTiming; piece++) {
        StatePtr = state;
        for (int n = 0; n < PieceBlocks; n++) {
            BlockPtr = Piece + 64 * n;
            CompressBlock();
        }
    }
    auto elapsed = std::chrono::steady_clock::now() - start;
    Sink = Sink ^ state[0];
    return std::chrono::duration<double, std::nano>(elapsed).count() / (PieceBlocks * PiecesPerTiming);
}

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 9;
    BuildWhirlpoolTables();
    uint32_t x = 2463534242u;
    for (uint8_t& byte : Piece) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        byte = static_cast<uint8_t>(x);
    }
    __builtin_cpu_init();
    BenchedRoutine routines[] = {
        {"Avx512", CompressBlockAvx512,
         __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("gfni")},
        {"Avx2", CompressBlockAvx2, static_cast<bool>(__builtin_cpu_supports("avx2"))},
        {"Sse2", CompressBlockSse2, static_cast<bool>(__builtin_cpu_supports("sse2"))},
        {"Scalar", CompressBlockScalar, true},
    };
    double best[4] = {1e30, 1e30, 1e30, 1e30};
    for (int round = 0; round < rounds; round++) {
        for (int r = 0; r < 4; r++) {
            if (!routines[r].runs) continue;
            double time = NanosecondsPerBlock(routines[r].compress);
            if (time < best[r]) best[r] = time;
        }
    }
    for (int r = 0; r < 4; r++) {
        if (routines[r].runs) std::printf("%s %.2f\n", routines[r].name, best[r]);
    }
    return 0;
}
