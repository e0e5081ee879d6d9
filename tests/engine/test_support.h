// Shared by the engine tests: the known answers, and small helpers for files
// and digests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// The compression routines this processor can execute, each with its name;
// the scalar one always. A routine left out is named in a note on stdout, so a
// run on an older processor says what it did not test.
struct CompressRoutine {
    const char* name;
    void (*compress)();
};
std::vector<CompressRoutine> RunnableRoutines();
bool ProcessorRunsSse2();

// Absorbs message through routine with the standard padding, the message copied
// to messageOffset and the state kept at stateOffset of local buffers.
void DigestWithRoutine(void (*routine)(), const uint8_t* message, size_t size, size_t messageOffset,
                       size_t stateOffset, uint8_t digest[64]);

// Writes a file in the current directory; the name comes back in the
// platform's native form. RemoveTestFiles deletes every file written.
PathString WriteTestFile(const char* name, const uint8_t* bytes, size_t size);
void RemoveTestFiles();
