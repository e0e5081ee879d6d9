// The texts both front ends show: the figures of a progress tick, a stored
// digest in hex, and the counts of a closing text. Pure and portable.
#pragma once

#include <cstdint>

#include "platform/platform.h"

struct ProgressInput {
    uint64_t bytesDone;  // the one snapshot of BytesDone the tick uses
    uint64_t bytesTotal;
    uint64_t now;        // 100-ns units, like the times below
    uint64_t runStart;
    uint64_t lastTick;
    uint64_t bytesAtLastTick;
};

const int ProgressTextUnits = 60;

struct ProgressTexts {
    char percent[ProgressTextUnits];     // "%8.1f %%"
    char throughput[ProgressTextUnits];  // "%7.1f MB/s  (Average:%6.1f MB/s)"
    char remaining[ProgressTextUnits];   // "  Remaining: %02d:%02d:%02d"
};

struct ProgressFigures {
    double percent;
    double currentMBs;
    double averageMBs;
    int32_t remainingSeconds;
};

// Every 64-bit quantity is rounded to single precision first, then the
// products and quotients are taken in double. Never inf or nan: with no total
// and bytes read the percentage is 100.
void ComputeProgressFigures(const ProgressInput& input, ProgressFigures* figures);
void FormatProgressTexts(const ProgressFigures& figures, ProgressTexts* texts);
// Both steps at once, as each tick takes them.
void FormatProgressTick(const ProgressInput& input, ProgressTexts* texts);

// Byte i as two upper-case hex digits followed by a line feed when i + 1 is a
// multiple of 16, else a blank: 3 units per byte at text, then a terminator.
void AppendDigestHex(const uint8_t* bytes, int count, PathChar* text);

// "%d hash%s could not be written." and its kin: count, and plural for %s
// when count is above 1, into out (capacity units, terminator included).
const int ClosingTextUnits = 50;
void FormatCountText(const char* format, int count, const char* plural, PathChar* out, int capacity);
// The closing text of a check that read every file: success, or "Ready."
// with the records out of step (whose renewal it names) or else how many of
// the altered files were edited. A fixed text, or one formatted into out
// (ClosingTextUnits).
const PathChar* FormatCheckClosing(int altered, int edited, int unhashed, int stale, PathChar* out);
