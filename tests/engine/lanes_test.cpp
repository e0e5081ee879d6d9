// Files hashed side by side against HashFile one at a time, on a scripted
// platform: mixed sizes, reads that come short, fail, end early or claim more
// than asked, through each routine the processor runs and through lanes of
// the scalar routine, which run everywhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <string>
#include <vector>

#include "engine/hash_file.h"
#include "engine/whirlpool.h"
#include "reference_whirlpool.h"
#include "test_support.h"

static const std::vector<uint8_t> Contents = PatternBytes(1 << 20, 41);
const int FailureCode = 5;
const FileHandle FirstHandle = 100;

// File n has handle FirstHandle + n. Its bytes are Contents from start on, of
// which available exist; read r delivers at most caps[r] (past the list, what
// is asked) and, if r is failingRead, fails.
struct ScriptedFile {
    int64_t expectedSize;
    uint32_t start;
    uint64_t available;
    std::vector<uint32_t> caps;
    int failingRead;
    bool claimsMore;  // a full read reports more than it delivered
    uint64_t position;
    int reads;
    std::string log;  // asked:reported, a read each
};

static std::vector<ScriptedFile> Files;
static std::string GateLog;  // W a wait, R a read
static int PlatformError;
static int ReadsUntilAbandoned = -1;

void WaitGate(GateHandle) { GateLog += 'W'; }
int LastPlatformError() { return PlatformError; }
void ClearPlatformError() { PlatformError = 0; }

uint32_t ReadFileChunk(FileHandle handle, void* buffer, uint32_t size) {
    ScriptedFile& file = Files[static_cast<size_t>(handle - FirstHandle)];
    uint64_t got = std::min<uint64_t>(size, file.available - file.position);
    if (file.reads < static_cast<int>(file.caps.size())) got = std::min<uint64_t>(got, file.caps[file.reads]);
    if (file.reads == file.failingRead) {
        got = 0;
        PlatformError = FailureCode;
    }
    for (uint64_t n = 0; n < got; n++) {
        static_cast<uint8_t*>(buffer)[n] = Contents[(file.start + file.position + n) % Contents.size()];
    }
    file.position += got;
    file.reads++;
    uint32_t reported = static_cast<uint32_t>(got) + (file.claimsMore && got == size ? 4096 : 0);
    file.log += std::to_string(size) + ":" + std::to_string(reported) + " ";
    GateLog += 'R';
    if (--ReadsUntilAbandoned == 0) HashingAbandoned = true;
    return reported;
}

static void RewindFiles() {
    for (ScriptedFile& file : Files) {
        file.position = 0;
        file.reads = 0;
        file.log.clear();
    }
    GateLog.clear();
}

// The boundary sizes and random ones up to 300 KiB, shuffled; every few files
// one with reads of whole blocks, a short read with a partial block, an early
// end, a failing second read, or reads that claim too much.
static void MakeFileSet(uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<int64_t> sizes = {0, 1, 63, 64, 65, 65535, 65536, 65537};
    for (int n = 0; n < 16; n++) sizes.push_back(random() % 300000);
    std::shuffle(sizes.begin(), sizes.end(), random);
    Files.clear();
    for (size_t n = 0; n < sizes.size(); n++) {
        ScriptedFile file = {sizes[n], static_cast<uint32_t>(random() % Contents.size()),
                             static_cast<uint64_t>(sizes[n]), {}, -1, false, 0, 0, {}};
        switch ((n + seed) % 6) {
            case 1:
                for (int r = 0; r < 6; r++) file.caps.push_back(64 * (1 + random() % 1500));
                break;
            case 2:
                file.caps = {static_cast<uint32_t>(64 * (random() % 8)), static_cast<uint32_t>(1 + random() % 20000)};
                break;
            case 3:
                file.available = file.available / 3;
                break;
            case 4:
                file.failingRead = 1;
                break;
            case 5:
                file.claimsMore = true;
                break;
        }
        Files.push_back(file);
    }
}

// What a file's hashing left: digest, bytes read, error and its reads.
static std::string OutcomeOf(const uint8_t digest[64], uint64_t read, int error, const ScriptedFile& file) {
    return HexOf(digest, 64) + " read " + std::to_string(read) + " error " + std::to_string(error) + ", " + file.log;
}

// The jobs handed over one at a time; each must come back once, no more of
// them under way than there are lanes, and no lane idle while jobs are left.
static std::vector<FileHashJob> Jobs;
static size_t JobsTaken;
static std::vector<int> TimesDone;
static int UnderWay, MostUnderWay, IdleLanesWhileJobsLeft;
static LanesRoutine ForwardedLanes;
static BlockRoutine ForwardedBlock;

static void MakeJobs() {
    Jobs.assign(Files.size(), FileHashJob());
    for (size_t n = 0; n < Files.size(); n++) {
        Jobs[n].file = FirstHandle + static_cast<FileHandle>(n);
        Jobs[n].ExpectedSize = Files[n].expectedSize;
        Jobs[n].readError = -1;
    }
    JobsTaken = 0;
    TimesDone.assign(Jobs.size(), 0);
    UnderWay = MostUnderWay = IdleLanesWhileJobsLeft = 0;
}

static FileHashJob* TakeNext(void*) {
    if (JobsTaken == Jobs.size()) return nullptr;
    MostUnderWay = std::max(MostUnderWay, ++UnderWay);
    return &Jobs[JobsTaken++];
}

static void MarkDone(void*, FileHashJob* job) {
    TimesDone[job - Jobs.data()]++;
    UnderWay--;
}

static void CheckedLanes(uint8_t* const* states, const uint8_t* const* blocks) {
    for (int n = 0; n < LaneCount; n++) {
        bool busy = false;
        for (const FileHashJob& job : Jobs) busy = busy || states[n] == job.digest;
        if (!busy && JobsTaken < Jobs.size()) IdleLanesWhileJobsLeft++;
    }
    ForwardedLanes(states, blocks);
}

static void CheckedBlock(uint8_t* state, const uint8_t* block) {
    if (JobsTaken < Jobs.size()) IdleLanesWhileJobsLeft += LaneCount - 1;
    ForwardedBlock(state, block);
}

static void ScalarLanes(uint8_t* const* states, const uint8_t* const* blocks) {
    for (int n = 0; n < LaneCount; n++) CompressBlockScalar(states[n], blocks[n]);
}

struct LaneSetup {
    CompressRoutine routine;
    LanesRoutine lanes;
    int laneCount;
};

// Runs the rest of a test with one setup, and puts the chosen routines back.
struct LanesInUse {
    BlockRoutine block = CompressBlock;
    LanesRoutine lanes = CompressLanes;
    int count = LaneCount;
    explicit LanesInUse(const LaneSetup& setup) {
        ForwardedBlock = setup.routine.compress;
        ForwardedLanes = setup.lanes;
        CompressBlock = CheckedBlock;
        CompressLanes = CheckedLanes;
        LaneCount = setup.laneCount;
    }
    ~LanesInUse() {
        CompressBlock = block;
        CompressLanes = lanes;
        LaneCount = count;
    }
};

class InterleavedWith : public testing::TestWithParam<LaneSetup> {};

// Each routine as BuildWhirlpoolTables sets it up, and lanes of the scalar
// one. A function: gtest asks for the list after every global is made.
static std::vector<LaneSetup> LaneSetups() {
    return {
        {CompressRoutines[0], CompressLanesAvx512, Avx512Lanes},
        {CompressRoutines[1], nullptr, 1},
        {CompressRoutines[2], nullptr, 1},
        {CompressRoutines[3], nullptr, 1},
        {{"ScalarInTwoLanes", CompressBlockScalar, {}}, ScalarLanes, 2},
        {{"ScalarInFourLanes", CompressBlockScalar, {}}, ScalarLanes, MaxLaneCount},
    };
}
INSTANTIATE_TEST_SUITE_P(Lanes, InterleavedWith, testing::ValuesIn(LaneSetups()),
                         [](const testing::TestParamInfo<LaneSetup>& info) { return info.param.routine.name; });

TEST_P(InterleavedWith, SameAsOneByOneOnMixedFileSets) {
    SKIP_UNLESS_PROCESSOR_RUNS(GetParam().routine);
    LanesInUse use(GetParam());
    for (uint32_t seed : {1u, 2u, 3u}) {
        MakeFileSet(seed);
        std::vector<std::string> expected;
        std::atomic<uint64_t> expectedDone(0);
        RewindFiles();
        for (size_t n = 0; n < Files.size(); n++) {
            uint8_t digest[64];
            ClearPlatformError();
            uint64_t read = HashFile(FirstHandle + n, Files[n].expectedSize, nullptr, &expectedDone, digest);
            expected.push_back(OutcomeOf(digest, read, LastPlatformError(), Files[n]));
        }

        RewindFiles();
        MakeJobs();
        std::atomic<uint64_t> bytesDone(0);
        HashFilesAsTaken(TakeNext, MarkDone, nullptr, nullptr, &bytesDone);
        for (size_t n = 0; n < Files.size(); n++) {
            EXPECT_EQ(OutcomeOf(Jobs[n].digest, Jobs[n].bytesRead, Jobs[n].readError, Files[n]), expected[n])
                << "seed " << seed << ", file " << n << " of " << Files[n].expectedSize;
            EXPECT_EQ(TimesDone[n], 1) << "file " << n;
        }
        EXPECT_EQ(bytesDone, expectedDone);
        std::string waitThenRead;
        for (size_t n = 0; n < GateLog.size() / 2; n++) waitThenRead += "WR";
        EXPECT_EQ(GateLog, waitThenRead) << "a read without a wait just before it";
        EXPECT_EQ(IdleLanesWhileJobsLeft, 0);
        EXPECT_LE(MostUnderWay, GetParam().laneCount);
    }
}

// Once hashing is abandoned no lane reads on, every file still gets done, and
// each digest covers what its file delivered with its expected size.
TEST(Interleaved, AbandonedHashingReadsNoFurther) {
    LanesInUse use({{"ScalarInThreeLanes", CompressBlockScalar, {}}, ScalarLanes, 3});
    Files.clear();
    for (uint32_t n = 0; n < 7; n++) Files.push_back({150000 + n, 1000 * n, 150000 + n, {}, -1, false, 0, 0, {}});
    RewindFiles();
    MakeJobs();
    ReadsUntilAbandoned = 5;
    std::atomic<uint64_t> bytesDone(0);
    HashFilesInterleaved(Jobs.data(), static_cast<int>(Jobs.size()), nullptr, &bytesDone);
    HashingAbandoned = false;
    ReadsUntilAbandoned = -1;

    EXPECT_EQ(GateLog.substr(0, 10), "WRWRWRWRWR");
    EXPECT_EQ(GateLog.find('R', 10), std::string::npos) << GateLog;
    uint64_t read = 0;
    for (size_t n = 0; n < Files.size(); n++) {
        std::vector<uint8_t> delivered(Jobs[n].bytesRead);
        for (size_t b = 0; b < delivered.size(); b++) delivered[b] = Contents[(Files[n].start + b) % Contents.size()];
        uint8_t digest[64];
        ReferenceDigestWithLength(delivered.data(), delivered.size(), Files[n].expectedSize, digest);
        EXPECT_EQ(HexOf(Jobs[n].digest, 64), HexOf(digest, 64)) << "file " << n;
        read += Jobs[n].bytesRead;
    }
    EXPECT_EQ(bytesDone, read);
}
