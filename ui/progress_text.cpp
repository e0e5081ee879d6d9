#include "ui/progress_text.h"

#include <cmath>
#include <cstdio>

#include "store/operation_state.h"

static double Single(uint64_t value) { return static_cast<double>(static_cast<float>(value)); }

void ComputeProgressFigures(const ProgressInput& in, ProgressFigures* out) {
    double done = Single(in.bytesDone);
    if (in.bytesTotal == 0) {
        out->percent = in.bytesDone == 0 ? 0.0 : 100.0;
    } else {
        out->percent = done * 100.0 / Single(in.bytesTotal);
    }
    out->averageMBs = in.now == in.runStart ? 0.0 : done * 10.0 / Single(in.now - in.runStart);
    out->currentMBs = in.now == in.lastTick
                          ? 0.0
                          : Single(in.bytesDone - in.bytesAtLastTick) * 10.0 / Single(in.now - in.lastTick);
    double remaining = 0.0;
    if (in.bytesDone != 0) {
        remaining = (Single(in.now - in.runStart) * Single(in.bytesTotal - in.bytesDone) / done) / 1e7;
    }
    // Negative, not a number, or past the 32-bit range: shown as zero.
    out->remainingSeconds = (remaining >= 0.0 && remaining < 2147483648.0) ? static_cast<int32_t>(remaining) : 0;
}

void FormatProgressTexts(const ProgressFigures& figures, ProgressTexts* texts) {
    std::snprintf(texts->percent, ProgressTextUnits, "%8.1f %%", figures.percent);
    std::snprintf(texts->throughput, ProgressTextUnits, "%7.1f MB/s  (Average:%6.1f MB/s)", figures.currentMBs,
                  figures.averageMBs);
    int32_t r = figures.remainingSeconds;
    std::snprintf(texts->remaining, ProgressTextUnits, "  Remaining: %02d:%02d:%02d", static_cast<int>(r / 3600),
                  static_cast<int>((r % 3600) / 60), static_cast<int>(r % 60));
}

bool TakeProgressTick(uint64_t now, ProgressTexts* texts, uint64_t* bytesDone, uint64_t* bytesTotal) {
    uint64_t done = OperationState.BytesDone.load();
    if (done == 0) return false;
    ProgressInput input;
    input.bytesDone = done;
    input.bytesTotal = OperationState.BytesTotal.load();
    input.now = now;
    input.runStart = OperationState.RunStart.load();
    input.lastTick = OperationState.LastTick.load();
    input.bytesAtLastTick = OperationState.BytesAtLastTick.load();
    ProgressFigures figures;
    ComputeProgressFigures(input, &figures);
    FormatProgressTexts(figures, texts);
    *bytesDone = done;
    *bytesTotal = input.bytesTotal;
    OperationState.LastTick.store(now);
    OperationState.BytesAtLastTick.store(done);
    return true;
}
