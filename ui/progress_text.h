// The figures of a progress tick from the run's counters and times. Pure and
// portable: the window's status bar and the console's status line both show
// these texts.
#pragma once

#include <cstdint>

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

// The tick on OperationState: false (and nothing touched) while BytesDone is
// 0; else the texts, the snapshot for the taskbar, and LastTick and
// BytesAtLastTick moved on for the next tick.
bool TakeProgressTick(uint64_t now, ProgressTexts* texts, uint64_t* bytesDone, uint64_t* bytesTotal);
