// Shared by the engine tests: the known answers, and small helpers for files
// and digests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/whirlpool.h"
#include "platform/platform.h"

struct KnownAnswer {
    const char* name;
    std::string message;
    const char* digestHex;
};
extern const std::vector<KnownAnswer> KnownAnswers;

std::vector<uint8_t> BytesFromHex(const char* hex);
std::string HexOf(const uint8_t* bytes, size_t size);
std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed);

// Every compression routine, in the order of preference, with the processor
// features it needs as __builtin_cpu_supports names them.
struct CompressRoutine {
    const char* name;
    BlockRoutine compress;
    std::vector<std::string> features;
};
extern const std::vector<CompressRoutine> CompressRoutines;
// The needed features this processor (or its OS) lacks, comma-separated;
// empty when the routine can run here.
std::string MissingFeatures(const CompressRoutine& routine);
std::string NameOfRoutine(const testing::TestParamInfo<CompressRoutine>& info);

// Calling a routine whose instructions the processor lacks would kill the
// test with SIGILL; such a test is skipped and says why.
#define SKIP_UNLESS_PROCESSOR_RUNS(routine)                                                   \
    do {                                                                                      \
        std::string missing = MissingFeatures(routine);                                       \
        if (!missing.empty()) {                                                               \
            GTEST_SKIP() << (routine).name << " not run: this processor lacks " << missing;  \
        }                                                                                     \
    } while (0)

// Absorbs message through routine with the standard padding, the message copied
// to messageOffset and the state kept at stateOffset of local buffers.
void DigestWithRoutine(BlockRoutine routine, const uint8_t* message, size_t size, size_t messageOffset,
                       size_t stateOffset, uint8_t digest[64]);

// Writes a file in the current directory; the name comes back in the
// platform's native form. RemoveTestFiles deletes every file written.
PathString WriteTestFile(const char* name, const uint8_t* bytes, size_t size);
void RemoveTestFiles();
