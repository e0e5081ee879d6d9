// Time a block of each compression routine the processor runs, called the way
// HashFile calls it: through the routine pointer, block after block of a 64 KiB
// piece; and of each interleaving routine, per block of one lane. Built for
// Linux and for Windows alike, so that compress_bench_vs.sh can set the two
// builds of the same routine side by side in one run.
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
    BlockRoutine compress;
    LanesRoutine compressLanes;  // with lanes messages; compress is then null
    int lanes;
    bool runs;
};

static double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

static double NanosecondsPerBlock(const BenchedRoutine& routine) {
    uint8_t states[MaxLaneCount][64] = {};
    auto start = std::chrono::steady_clock::now();
    if (routine.compress) {
        CompressBlock = routine.compress;
        for (int piece = 0; piece < PiecesPerTiming; piece++) {
            for (int n = 0; n < PieceBlocks; n++) CompressBlock(states[0], Piece + 64 * n);
        }
    } else {
        // As many blocks in all, each lane from its own place in the piece.
        uint8_t* statePointers[MaxLaneCount];
        const uint8_t* blocks[MaxLaneCount];
        for (int l = 0; l < routine.lanes; l++) statePointers[l] = states[l];
        for (int step = 0; step < PieceBlocks * PiecesPerTiming / routine.lanes; step++) {
            for (int l = 0; l < routine.lanes; l++) blocks[l] = Piece + 64 * ((step + 97 * l) % PieceBlocks);
            routine.compressLanes(statePointers, blocks);
        }
    }
    double seconds = SecondsSince(start);
    for (auto& state : states) Sink = Sink ^ state[0];
    int blocks = PieceBlocks * PiecesPerTiming / routine.lanes * routine.lanes;
    return seconds * 1e9 / blocks;
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
    bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                  __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("gfni");
    bool avx2 = __builtin_cpu_supports("avx2");
    BenchedRoutine routines[] = {
        {"Avx512", CompressBlockAvx512, nullptr, 1, avx512},
        {"Avx2", CompressBlockAvx2, nullptr, 1, avx2},
        {"Sse2", CompressBlockSse2, nullptr, 1, static_cast<bool>(__builtin_cpu_supports("sse2"))},
        {"Scalar", CompressBlockScalar, nullptr, 1, true},
        {"Avx512Lanes", nullptr, CompressLanesAvx512, Avx512Lanes, avx512},
    };
    const int count = sizeof routines / sizeof routines[0];
    double best[count];
    for (double& time : best) time = 1e30;
    for (int round = 0; round < rounds; round++) {
        for (int r = 0; r < count; r++) {
            if (!routines[r].runs) continue;
            double time = NanosecondsPerBlock(routines[r]);
            if (time < best[r]) best[r] = time;
        }
    }
    for (int r = 0; r < count; r++) {
        if (routines[r].runs) std::printf("%s %.2f\n", routines[r].name, best[r]);
    }
    return 0;
}
