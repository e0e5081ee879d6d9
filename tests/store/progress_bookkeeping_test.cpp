// Pause and Resume move the run's times so that paused time counts neither in
// the throughput nor in the remaining time; the clock here is the test's own.
#include "gtest/gtest.h"
#include "store/operation_state.h"
#include "tests/store/recording_services.h"

namespace {

const uint64_t Second = 10000000;

TEST(ProgressBookkeeping, PauseLeavesTheAverageAsIfItHadNotHappened) {
    ResetRecording(false);
    const uint64_t start = 130000000000000000ULL;
    OperationState.BytesTotal = 1000000000;
    OperationState.RunStart = start;
    OperationState.LastTick = start;
    ProgressInput input;
    ProgressTexts texts;

    OperationState.BytesDone = 100000000;
    ASSERT_TRUE(TakeProgressTick(start + 4 * Second, &input));
    FormatProgressTick(input, &texts);
    EXPECT_STREQ(texts.throughput, "   25.0 MB/s  (Average:  25.0 MB/s)");

    // A minute's pause between two reads.
    MarkPauseStart(start + 5 * Second);
    MoveRunTimesPastPause(start + 65 * Second);
    EXPECT_EQ(OperationState.RunStart.load(), start + 60 * Second);
    EXPECT_EQ(OperationState.LastTick.load(), start + 64 * Second);

    OperationState.BytesDone = 250000000;
    ASSERT_TRUE(TakeProgressTick(start + 70 * Second, &input));
    FormatProgressTick(input, &texts);
    EXPECT_STREQ(texts.percent, "    25.0 %");
    EXPECT_STREQ(texts.throughput, "   25.0 MB/s  (Average:  25.0 MB/s)");
    EXPECT_STREQ(texts.remaining, "  Remaining: 00:00:30");
    EXPECT_EQ(input.bytesDone, 250000000u);
    EXPECT_EQ(input.bytesTotal, 1000000000u);
    EXPECT_EQ(OperationState.LastTick.load(), start + 70 * Second);
    EXPECT_EQ(OperationState.BytesAtLastTick.load(), 250000000u);
}

TEST(ProgressBookkeeping, NoTickBeforeTheFirstBytesAreRead) {
    ResetRecording(false);
    OperationState.RunStart = 5;
    OperationState.LastTick = 5;
    ProgressInput input = {};
    EXPECT_FALSE(TakeProgressTick(99 * Second, &input));
    EXPECT_EQ(OperationState.LastTick.load(), 5u);
    EXPECT_EQ(input.bytesDone, 0u);
}

}  // namespace
