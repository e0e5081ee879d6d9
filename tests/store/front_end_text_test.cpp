// The figures and texts of a progress tick, from the worked example on.
#include "gtest/gtest.h"
#include "store/front_end_text.h"

namespace {

const uint64_t Second = 10000000;
const uint64_t Start = 131000000000000000ULL;

ProgressTexts Texts(const ProgressInput& input) {
    ProgressFigures figures;
    ComputeProgressFigures(input, &figures);
    ProgressTexts texts;
    FormatProgressTexts(figures, &texts);
    return texts;
}

TEST(ProgressText, WorkedExample) {
    // 10^9 bytes in all; 10 s in, 2.5 * 10^8 read; 1 s before, 2.25 * 10^8.
    ProgressInput in = {250000000, 1000000000, Start + 10 * Second, Start, Start + 9 * Second, 225000000};
    ProgressTexts t = Texts(in);
    EXPECT_STREQ(t.percent, "    25.0 %");
    EXPECT_STREQ(t.throughput, "   25.0 MB/s  (Average:  25.0 MB/s)");
    EXPECT_STREQ(t.remaining, "  Remaining: 00:00:30");
}

TEST(ProgressText, RemainingHoursDoNotWrap) {
    ProgressFigures f = {50.0, 1.0, 1.0, 3725};
    ProgressTexts t;
    FormatProgressTexts(f, &t);
    EXPECT_STREQ(t.remaining, "  Remaining: 01:02:05");
    f.remainingSeconds = 100 * 3600;
    FormatProgressTexts(f, &t);
    EXPECT_STREQ(t.remaining, "  Remaining: 100:00:00");
}

TEST(ProgressText, TwoTicksWithinOneClockStepShowNoCurrentThroughput) {
    ProgressInput in = {500, 1000, Start + Second, Start, Start + Second, 400};
    ProgressFigures f;
    ComputeProgressFigures(in, &f);
    EXPECT_EQ(f.currentMBs, 0.0);
    EXPECT_STREQ(Texts(in).throughput, "    0.0 MB/s  (Average:   0.0 MB/s)");
}

TEST(ProgressText, NoTotalButBytesReadShowsAHundredNotInfinity) {
    ProgressInput in = {4096, 0, Start + Second, Start, Start, 0};
    ProgressTexts t = Texts(in);
    EXPECT_STREQ(t.percent, "   100.0 %");
    EXPECT_STREQ(t.remaining, "  Remaining: 00:00:00");
}

TEST(ProgressText, MoreReadThanCountedShowsAbovePercentAndNoRemainingTime) {
    ProgressInput in = {1500, 1000, Start + Second, Start, Start, 0};
    ProgressTexts t = Texts(in);
    EXPECT_STREQ(t.percent, "   150.0 %");
    EXPECT_STREQ(t.remaining, "  Remaining: 00:00:00");
}

TEST(ProgressText, UnrepresentableRemainingTimeIsZero) {
    // One byte in a day of a petabyte: far beyond 2^31 seconds.
    ProgressInput in = {1, 1000000000000000ULL, Start + 86400 * Second, Start, Start, 0};
    ProgressFigures f;
    ComputeProgressFigures(in, &f);
    EXPECT_EQ(f.remainingSeconds, 0);
}

}  // namespace
