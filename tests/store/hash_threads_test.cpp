// The default count of hashing threads, from the answers of the targets'
// volumes and the processors.
#include <vector>

#include "gtest/gtest.h"
#include "store/hash_threads.h"

namespace {

const SeekPenalty Seeks = SeekPenaltyPresent;
const SeekPenalty Flat = SeekPenaltyNone;
const SeekPenalty Untold = SeekPenaltyUnknown;

struct ThreadsCase {
    std::vector<SeekPenalty> answers;
    int processors;
    int threads;
};

TEST(HashThreads, OneThreadOnlyWhereEveryTargetSeeks) {
    const ThreadsCase cases[] = {
        {{Seeks}, 8, 1},                // one disk that seeks
        {{Seeks, Seeks, Seeks}, 8, 1},  // every target on one
        {{Flat}, 8, 8},                 // a solid-state disk
        {{Untold}, 8, 8},               // cannot be told: a share, POSIX, Wine
        {{Seeks, Flat}, 8, 8},          // one target elsewhere still gains
        {{Flat, Seeks}, 8, 8},
        {{Seeks, Untold}, 8, 8},
        {{}, 8, 8},                     // no target: nothing to tell
        {{Flat}, 1, 1},
        {{Untold}, 0, 1},               // a processor count of 0 still hashes
    };
    for (const ThreadsCase& c : cases) {
        EXPECT_EQ(ChooseHashThreads(c.answers.data(), static_cast<int>(c.answers.size()), c.processors), c.threads)
            << c.answers.size() << " answers, " << c.processors << " processors";
    }
}

#ifndef _WIN32
TEST(HashThreads, PosixCannotTellAndHashesOnEveryProcessor) {
    EXPECT_EQ(QuerySeekPenalty("/"), SeekPenaltyUnknown);
    EXPECT_EQ(DefaultHashThreads({"/", "/tmp"}), ProcessorCount());
}
#endif

}  // namespace
