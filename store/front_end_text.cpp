#include "store/front_end_text.h"

#include <cstdio>

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

void FormatProgressTick(const ProgressInput& input, ProgressTexts* texts) {
    ProgressFigures figures;
    ComputeProgressFigures(input, &figures);
    FormatProgressTexts(figures, texts);
}

void AppendDigestHex(const uint8_t* bytes, int count, PathChar* text) {
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < count; ++i) {
        text[3 * i] = static_cast<PathChar>(digits[bytes[i] >> 4]);
        text[3 * i + 1] = static_cast<PathChar>(digits[bytes[i] & 15]);
        text[3 * i + 2] = (i + 1) % 16 == 0 ? PathChar('\n') : PathChar(' ');
    }
    text[3 * (count > 0 ? count : 0)] = 0;
}

void FormatCountText(const char* format, int count, const char* plural, PathChar* out, int capacity) {
    // The texts are ASCII: format narrow, then widen unit by unit.
    char narrow[128];
    int n = std::snprintf(narrow, sizeof narrow, format, count, count <= 1 ? "" : plural);
    if (n < 0) n = 0;
    if (n > capacity - 1) n = capacity - 1;
    if (n > static_cast<int>(sizeof narrow) - 1) n = static_cast<int>(sizeof narrow) - 1;
    for (int i = 0; i < n; ++i) out[i] = static_cast<PathChar>(narrow[i]);
    out[n] = 0;
}

const PathChar* FormatCheckClosing(int altered, int edited, int unhashed, int stale, PathChar* out) {
    if (stale != 0) {
        FormatCountText("Ready. %d record%s out of step: run update.", stale, "s", out, ClosingTextUnits);
        return out;
    }
    if (edited != 0) {
        char narrow[ClosingTextUnits + 16];
        std::snprintf(narrow, sizeof narrow, "Ready. %d of %d altered files were edited.", edited, altered);
        int n = 0;
        for (; narrow[n] != 0 && n < ClosingTextUnits - 1; ++n) out[n] = static_cast<PathChar>(narrow[n]);
        out[n] = 0;
        return out;
    }
    return altered + unhashed == 0 ? PT("All files checked successfully.") : PT("Ready.");
}
