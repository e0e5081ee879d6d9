// HashFile over real files, pipes and a closed gate.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

#include "engine/hash_file.h"
#include "engine/whirlpool.h"
#include "reference_whirlpool.h"
#include "test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#ifdef QUORVANE_TEST_OPENSSL
#include <openssl/evp.h>
#include <openssl/provider.h>

static std::string OpenSslWhirlpoolHex(const std::vector<uint8_t>& bytes) {
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* standard = OSSL_PROVIDER_load(nullptr, "default");
    static EVP_MD* whirlpool = EVP_MD_fetch(nullptr, "WHIRLPOOL", nullptr);
    if (!legacy || !standard || !whirlpool) return "OpenSSL has no Whirlpool";
    uint8_t digest[64];
    unsigned size = 0;
    if (!EVP_Digest(bytes.data(), bytes.size(), digest, &size, whirlpool, nullptr) || size != 64) {
        return "OpenSSL digest failed";
    }
    return HexOf(digest, 64);
}
#endif

static GateHandle OpenGate() {
    static GateHandle gate = CreateGate(true, true);
    return gate;
}

struct HashJob {
    FileHandle file;
    int64_t expectedSize;
    GateHandle gate;
    uint8_t digest[64];
    std::atomic<uint64_t> bytesDone;
    std::atomic<bool> finished;
};

static unsigned RunHashJob(void* parameter) {
    HashJob* job = static_cast<HashJob*>(parameter);
    HashFile(job->file, job->expectedSize, job->gate, &job->bytesDone, job->digest);
    job->finished = true;
    return 0;
}

static bool WaitUntilFinished(HashJob* job, uint32_t milliseconds) {
    for (uint32_t waited = 0; !job->finished && waited < milliseconds; waited += 10) SleepMilliseconds(10);
    return job->finished;
}

const int64_t SizeOfTheFile = INT64_MIN;

// Digest of the named file through the current CompressBlock, with the size
// taken from the open file unless another is given; bytesDone starts at an odd
// value to show that it grows rather than being set.
static std::string HashPath(const PathString& path, uint64_t* grownBy,
                            int64_t expectedSize = SizeOfTheFile) {
    FileHandle file = OpenFileForReading(path.c_str());
    EXPECT_NE(file, NoFile);
    if (expectedSize == SizeOfTheFile) expectedSize = FileSizeOf(file);
    uint8_t digest[64];
    std::atomic<uint64_t> bytesDone(0x123456789ull);
    HashFile(file, expectedSize, OpenGate(), &bytesDone, digest);
    CloseFile(file);
    *grownBy = bytesDone - 0x123456789ull;
    return HexOf(digest, 64);
}

static std::string ReferenceHex(const std::vector<uint8_t>& bytes, size_t used, uint64_t length) {
    uint8_t digest[64];
    ReferenceDigestWithLength(bytes.data(), used, length, digest);
    return HexOf(digest, 64);
}

// Runs the rest of a test with CompressBlock set to one routine, and puts the
// chosen one back at its end.
struct RoutineInUse {
    BlockRoutine chosen = CompressBlock;
    explicit RoutineInUse(BlockRoutine routine) { CompressBlock = routine; }
    ~RoutineInUse() { CompressBlock = chosen; }
};

class HashFileWith : public testing::TestWithParam<CompressRoutine> {};
INSTANTIATE_TEST_SUITE_P(HashFile, HashFileWith, testing::ValuesIn(CompressRoutines), NameOfRoutine);

TEST_P(HashFileWith, KnownAnswersFromRealFiles) {
    SKIP_UNLESS_PROCESSOR_RUNS(GetParam());
    RoutineInUse use(GetParam().compress);
    for (const KnownAnswer& answer : KnownAnswers) {
        PathString path = WriteTestFile("known_answer.bin",
                                        reinterpret_cast<const uint8_t*>(answer.message.data()),
                                        answer.message.size());
        uint64_t grownBy = 0;
        EXPECT_EQ(HashPath(path, &grownBy), answer.digestHex) << answer.name;
        EXPECT_EQ(grownBy, answer.message.size()) << answer.name;
    }
}

// Sizes around the padding boundary (31/32, 55, 63/64/65) and the 64 KiB read
// boundary, against an independent implementation (and OpenSSL where linked).
TEST_P(HashFileWith, SizesAroundBoundariesMatchOracles) {
    SKIP_UNLESS_PROCESSOR_RUNS(GetParam());
    RoutineInUse use(GetParam().compress);
    const size_t sizes[] = {0, 1, 31, 32, 55, 63, 64, 65, 65535, 65536, 65537, 131172};
    for (size_t size : sizes) {
        std::vector<uint8_t> bytes = PatternBytes(size, static_cast<uint32_t>(size) + 7);
        PathString path = WriteTestFile("sized.bin", bytes.data(), size);
        std::string expected = ReferenceHex(bytes, size, size);
#ifdef QUORVANE_TEST_OPENSSL
        EXPECT_EQ(OpenSslWhirlpoolHex(bytes), expected) << size;
#endif
        uint64_t grownBy = 0;
        EXPECT_EQ(HashPath(path, &grownBy), expected) << size;
        EXPECT_EQ(grownBy, size) << size;
    }
}

// Two threads hash different files over and over at the same time, each
// through its own state, block and read buffer: every digest must be right.
TEST(HashFile, TwoThreadsAtOnceEachGetTheirDigest) {
    std::vector<uint8_t> bytes[2] = {PatternBytes(300000, 21), PatternBytes(200003, 22)};
    PathString paths[2] = {WriteTestFile("thread0.bin", bytes[0].data(), bytes[0].size()),
                           WriteTestFile("thread1.bin", bytes[1].data(), bytes[1].size())};
    std::string expected[2] = {ReferenceHex(bytes[0], bytes[0].size(), bytes[0].size()),
                               ReferenceHex(bytes[1], bytes[1].size(), bytes[1].size())};
    std::atomic<int> ready(0);
    int wrong[2] = {0, 0};
    auto hashOver = [&](int n) {
        ready++;
        while (ready < 2) {
        }
        for (int round = 0; round < 40; round++) {
            FileHandle file = OpenFileForReading(paths[n].c_str());
            uint8_t digest[64];
            std::atomic<uint64_t> bytesDone(0);
            HashFile(file, static_cast<int64_t>(bytes[n].size()), OpenGate(), &bytesDone, digest);
            if (file == NoFile || HexOf(digest, 64) != expected[n]) wrong[n]++;
            CloseFile(file);
        }
    };
    std::thread first(hashOver, 0), second(hashOver, 1);
    first.join();
    second.join();
    EXPECT_EQ(wrong[0], 0) << "of 40 digests in the first thread";
    EXPECT_EQ(wrong[1], 0) << "of 40 digests in the second thread";
}

// A file that ends before ExpectedSize: what was read is absorbed, the padding
// carries ExpectedSize, and only bytes actually read are counted.
TEST(HashFile, FileShorterThanExpected) {
    std::vector<uint8_t> bytes = PatternBytes(1000, 3);
    uint64_t grownBy = 0;
    // 1000 bytes leave 40 unabsorbed: they become the partial block.
    PathString path = WriteTestFile("short.bin", bytes.data(), 1000);
    EXPECT_EQ(HashPath(path, &grownBy, 5000), ReferenceHex(bytes, 1000, 5000));
    EXPECT_EQ(grownBy, 1000u);
    // 128 bytes are absorbed whole; the next read finds the end.
    path = WriteTestFile("short.bin", bytes.data(), 128);
    EXPECT_EQ(HashPath(path, &grownBy, 200000), ReferenceHex(bytes, 128, 200000));
    EXPECT_EQ(grownBy, 128u);
    path = WriteTestFile("short.bin", bytes.data(), 0);
    EXPECT_EQ(HashPath(path, &grownBy, 100), ReferenceHex(bytes, 0, 100));
    EXPECT_EQ(grownBy, 0u);
}

// A file that grew after its size was taken: only ExpectedSize bytes are read,
// and the padding stays inside the read buffer even when the data would fill it.
TEST(HashFile, FileLongerThanExpected) {
    std::vector<uint8_t> bytes = PatternBytes(200000, 5);
    PathString path = WriteTestFile("long.bin", bytes.data(), bytes.size());
    const int64_t sizes[] = {100, 65535, 65546, 131071};
    for (int64_t size : sizes) {
        uint64_t grownBy = 0;
        EXPECT_EQ(HashPath(path, &grownBy, size), ReferenceHex(bytes, size, size)) << size;
        EXPECT_EQ(grownBy, static_cast<uint64_t>(size)) << size;
    }
}

// A size below zero cannot come from a size query; it is hashed as empty,
// without waiting on the (closed) gate.
TEST(HashFile, ZeroAndNegativeSizesNeitherWaitNorRead) {
    std::vector<uint8_t> bytes = PatternBytes(100, 9);
    PathString path = WriteTestFile("ignored.bin", bytes.data(), bytes.size());
    GateHandle gate = CreateGate(true, false);
    for (int64_t size : {int64_t(0), int64_t(-1), int64_t(-65536)}) {
        HashJob job;
        job.file = OpenFileForReading(path.c_str());
        job.expectedSize = size;
        job.gate = gate;
        job.bytesDone = 0;
        job.finished = false;
        ASSERT_TRUE(StartWorker(RunHashJob, &job));
        bool finished = WaitUntilFinished(&job, 10000);
        SetGate(gate);  // never leave a worker behind on failure
        ASSERT_TRUE(finished) << size;
        EXPECT_EQ(HexOf(job.digest, 64), KnownAnswers[0].digestHex) << size;
        EXPECT_EQ(job.bytesDone, 0u);
        ResetGate(gate);
        CloseFile(job.file);
    }
}

TEST(HashFile, ClosedGateHoldsTheFirstRead) {
    std::vector<uint8_t> bytes = PatternBytes(70000, 11);
    PathString path = WriteTestFile("gated.bin", bytes.data(), bytes.size());
    GateHandle gate = CreateGate(true, false);
    HashJob job;
    job.file = OpenFileForReading(path.c_str());
    job.expectedSize = FileSizeOf(job.file);
    job.gate = gate;
    job.bytesDone = 0;
    job.finished = false;
    ASSERT_TRUE(StartWorker(RunHashJob, &job));
    SleepMilliseconds(300);
    EXPECT_FALSE(job.finished);
    EXPECT_EQ(job.bytesDone, 0u);
    SetGate(gate);
    ASSERT_TRUE(WaitUntilFinished(&job, 10000));
    EXPECT_EQ(HexOf(job.digest, 64), ReferenceHex(bytes, bytes.size(), bytes.size()));
    EXPECT_EQ(job.bytesDone, bytes.size());
    CloseFile(job.file);
}

#ifndef _WIN32
// Pipe reads return what has arrived, as reads of network and FUSE files may:
// the read goes on until the piece is full, so pieces of any size lose nothing.
TEST(HashFile, PipeFedInOddPieces) {
    std::vector<uint8_t> bytes = PatternBytes(300000, 13);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::thread writer([&] {
        const size_t pieces[] = {4096, 65, 70001, 127, 65536};
        size_t at = 0;
        for (int n = 0; at < bytes.size(); n++) {
            size_t piece = std::min(pieces[n % 5], bytes.size() - at);
            if (write(ends[1], bytes.data() + at, piece) != static_cast<ssize_t>(piece)) break;
            at += piece;
            SleepMilliseconds(5);
        }
        close(ends[1]);
    });
    uint8_t digest[64];
    std::atomic<uint64_t> bytesDone(0);
    HashFile(ends[0], static_cast<int64_t>(bytes.size()), OpenGate(), &bytesDone, digest);
    writer.join();
    close(ends[0]);
    EXPECT_EQ(HexOf(digest, 64), ReferenceHex(bytes, bytes.size(), bytes.size()));
    EXPECT_EQ(bytesDone, bytes.size());
}

// A file that ends before its expected size: what it held is the partial
// block, and the padding carries the expected size.
TEST(HashFile, PipeEndingEarly) {
    std::vector<uint8_t> bytes = PatternBytes(1000, 17);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(write(ends[1], bytes.data(), 1000), 1000);
    close(ends[1]);
    uint8_t digest[64];
    std::atomic<uint64_t> bytesDone(0);
    HashFile(ends[0], 100000, OpenGate(), &bytesDone, digest);
    EXPECT_EQ(HexOf(digest, 64), ReferenceHex(bytes, 1000, 100000));
    EXPECT_EQ(bytesDone, 1000u);
    close(ends[0]);
}

// A descriptor whose reads fail (a directory): no bytes, the padding still
// carries ExpectedSize.
TEST(HashFile, FailingReadsCountAsEmpty) {
    int directory = open(".", O_RDONLY);
    ASSERT_GE(directory, 0);
    uint8_t digest[64];
    std::atomic<uint64_t> bytesDone(0);
    HashFile(directory, 1 << 20, OpenGate(), &bytesDone, digest);
    close(directory);
    std::vector<uint8_t> none;
    EXPECT_EQ(HexOf(digest, 64), ReferenceHex(none, 0, 1 << 20));
    EXPECT_EQ(bytesDone, 0u);
}
#endif

// Real files side by side through the routines chosen here: the standard
// digests, every byte read and counted.
TEST(HashFilesInterleaved, RealFilesOfMixedSizes) {
    const size_t sizes[] = {0, 1, 63, 64, 65, 65535, 65536, 65537, 200000, 5000, 12345};
    std::vector<FileHashJob> jobs;
    std::vector<std::string> expected;
    uint64_t total = 0;
    for (size_t size : sizes) {
        std::vector<uint8_t> bytes = PatternBytes(size, static_cast<uint32_t>(size) + 3);
        std::string name = "lane" + std::to_string(jobs.size()) + ".bin";
        PathString path = WriteTestFile(name.c_str(), bytes.data(), size);
        FileHashJob job = {};
        job.file = OpenFileForReading(path.c_str());
        ASSERT_NE(job.file, NoFile);
        job.ExpectedSize = FileSizeOf(job.file);
        jobs.push_back(job);
        expected.push_back(ReferenceHex(bytes, size, size));
        total += size;
    }
    std::atomic<uint64_t> bytesDone(0);
    HashFilesInterleaved(jobs.data(), static_cast<int>(jobs.size()), OpenGate(), &bytesDone);
    for (size_t n = 0; n < jobs.size(); n++) {
        EXPECT_EQ(HexOf(jobs[n].digest, 64), expected[n]) << sizes[n];
        EXPECT_EQ(jobs[n].bytesRead, sizes[n]);
        EXPECT_EQ(jobs[n].readError, 0) << sizes[n];
        CloseFile(jobs[n].file);
    }
    EXPECT_EQ(bytesDone, total);
}
