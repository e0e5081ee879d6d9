// HashFile against a scripted platform: the reads return what each test asks
// for (short, empty, or more than was asked), and every wait and read is logged.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/hash_file.h"
#include "engine/whirlpool.h"
#include "reference_whirlpool.h"
#include "test_support.h"

// The file's contents: byte n of an endless stream.
static const std::vector<uint8_t> Stream = PatternBytes(1 << 20, 99);
static uint64_t StreamPosition;
// What successive reads return; past the script's end, reads deliver in full.
static std::vector<uint32_t> ReadScript;
static size_t ReadsDone;
static std::string EventLog;
static std::atomic<uint64_t>* WatchedCounter;
static std::vector<uint64_t> CounterAtWaits;
static const void* FirstReadBuffer;
static bool BufferMoved;

// Handles 1 and 2 are streams that other threads read, starting at these
// offsets of Stream; the first one's first read, once it has filled the
// buffer, waits until the test lets it go on. Their gate is any non-null one.
const uint64_t OtherStreamStart[3] = {0, 0, 333333};
static uint64_t OtherStreamPosition[3];
static std::mutex OtherStreamMutex;
static std::condition_variable OtherStreamChanged;
static bool FirstHoldsItsBuffer, FirstMayGoOn;

static uint32_t ReadOtherStream(FileHandle file, void* buffer, uint32_t size) {
    uint64_t& position = OtherStreamPosition[file];
    for (uint32_t n = 0; n < size; n++) {
        static_cast<uint8_t*>(buffer)[n] = Stream[(OtherStreamStart[file] + position + n) % Stream.size()];
    }
    bool firstRead = position == 0;
    position += size;
    if (file == 1 && firstRead) {
        std::unique_lock<std::mutex> lock(OtherStreamMutex);
        FirstHoldsItsBuffer = true;
        OtherStreamChanged.notify_all();
        OtherStreamChanged.wait_for(lock, std::chrono::seconds(20), [] { return FirstMayGoOn; });
    }
    return size;
}

void WaitGate(GateHandle gate) {
    if (gate) return;
    EventLog += "W ";
    CounterAtWaits.push_back(*WatchedCounter);
}

uint32_t ReadFileChunk(FileHandle file, void* buffer, uint32_t size) {
    if (file == 1 || file == 2) return ReadOtherStream(file, buffer, size);
    if (!FirstReadBuffer) FirstReadBuffer = buffer;
    if (buffer != FirstReadBuffer) BufferMoved = true;
    uint32_t result = ReadsDone < ReadScript.size() ? ReadScript[ReadsDone] : size;
    ReadsDone++;
    // A result above size is a misbehaving read: only size bytes really arrive.
    uint32_t delivered = result < size ? result : size;
    for (uint32_t n = 0; n < delivered; n++) {
        static_cast<uint8_t*>(buffer)[n] = Stream[(StreamPosition + n) % Stream.size()];
    }
    StreamPosition += delivered;
    EventLog += "R" + std::to_string(size) + ":" + std::to_string(result) + " ";
    return result;
}

struct ScriptedRun {
    std::string digestHex;
    std::string log;
    uint64_t bytesDone;
    std::vector<uint64_t> counterAtWaits;
};

static ScriptedRun RunScripted(int64_t expectedSize, std::vector<uint32_t> script) {
    StreamPosition = 0;
    ReadScript = script;
    ReadsDone = 0;
    EventLog.clear();
    CounterAtWaits.clear();
    // The buffer is the call's own: it may differ from call to call, never within one.
    FirstReadBuffer = nullptr;
    std::atomic<uint64_t> bytesDone(0);
    WatchedCounter = &bytesDone;
    uint8_t digest[64];
    HashFile(0, expectedSize, nullptr, &bytesDone, digest);
    return {HexOf(digest, 64), EventLog, bytesDone, CounterAtWaits};
}

static std::string ReferenceHex(size_t used, uint64_t length, uint64_t start = 0) {
    std::vector<uint8_t> bytes(used);
    for (size_t n = 0; n < used; n++) bytes[n] = Stream[(start + n) % Stream.size()];
    uint8_t digest[64];
    ReferenceDigestWithLength(bytes.data(), used, length, digest);
    return HexOf(digest, 64);
}

// A wait before every read, the counter grown after every read, and reads of
// 64 KiB that never ask beyond the expected size: no read to find the end.
TEST(HashFileScripted, FullReadsWaitBeforeEachAndCountAfter) {
    ScriptedRun run = RunScripted(200000, {});
    EXPECT_EQ(run.log, "W R65536:65536 W R65536:65536 W R65536:65536 W R3392:3392 ");
    EXPECT_EQ(run.counterAtWaits, (std::vector<uint64_t>{0, 65536, 131072, 196608}));
    EXPECT_EQ(run.bytesDone, 200000u);
    EXPECT_EQ(run.digestHex, ReferenceHex(200000, 200000));

    run = RunScripted(65536, {});
    EXPECT_EQ(run.log, "W R65536:65536 ");
    EXPECT_EQ(run.digestHex, ReferenceHex(65536, 65536));
    run = RunScripted(65537, {});
    EXPECT_EQ(run.log, "W R65536:65536 W R1:1 ");
    EXPECT_EQ(run.digestHex, ReferenceHex(65537, 65537));
    run = RunScripted(0, {});
    EXPECT_EQ(run.log, "");
    EXPECT_EQ(run.digestHex, KnownAnswers[0].digestHex);
}

// Short reads of whole blocks lose nothing: the next step reads on.
TEST(HashFileScripted, ShortReadsOfWholeBlocks) {
    ScriptedRun run = RunScripted(20000, {640, 64, 6400});
    EXPECT_EQ(run.log, "W R20000:640 W R19360:64 W R19296:6400 W R12896:12896 ");
    EXPECT_EQ(run.bytesDone, 20000u);
    EXPECT_EQ(run.digestHex, ReferenceHex(20000, 20000));
}

// A short read that leaves 1 to 63 bytes ends the reading; those bytes are the
// partial block and the padding carries the expected size.
TEST(HashFileScripted, ShortReadWithPartialBlockEndsReading) {
    ScriptedRun run = RunScripted(50000, {100});
    EXPECT_EQ(run.log, "W R50000:100 ");
    EXPECT_EQ(run.bytesDone, 100u);
    EXPECT_EQ(run.digestHex, ReferenceHex(100, 50000));

    run = RunScripted(200000, {65536, 1000});
    EXPECT_EQ(run.log, "W R65536:65536 W R65536:1000 ");
    EXPECT_EQ(run.bytesDone, 66536u);
    EXPECT_EQ(run.digestHex, ReferenceHex(66536, 200000));
}

// After the first empty read nothing more is read, however many steps remain.
TEST(HashFileScripted, EmptyReadStopsReading) {
    ScriptedRun run = RunScripted(int64_t(1) << 32, {65536, 0});
    EXPECT_EQ(run.log, "W R65536:65536 W R65536:0 ");
    EXPECT_EQ(run.bytesDone, 65536u);
    EXPECT_EQ(run.digestHex, ReferenceHex(65536, uint64_t(1) << 32));

    run = RunScripted(1000, {0});
    EXPECT_EQ(run.log, "W R1000:0 ");
    EXPECT_EQ(run.bytesDone, 0u);
    EXPECT_EQ(run.digestHex, ReferenceHex(0, 1000));
}

// A read that reports more than it was asked for is held to what was asked:
// the data stays in the read buffer and the digest covers the expected size.
TEST(HashFileScripted, ReadClaimingMoreThanAskedIsClamped) {
    const uint32_t tooMany = 1000000;
    ScriptedRun run = RunScripted(100, {tooMany});
    EXPECT_EQ(run.log, "W R100:1000000 ");
    EXPECT_EQ(run.bytesDone, 100u);
    EXPECT_EQ(run.digestHex, ReferenceHex(100, 100));

    run = RunScripted(70000, {tooMany, tooMany});
    EXPECT_EQ(run.log, "W R65536:1000000 W R4464:1000000 ");
    EXPECT_EQ(run.bytesDone, 70000u);
    EXPECT_EQ(run.digestHex, ReferenceHex(70000, 70000));
    EXPECT_FALSE(BufferMoved);
}

// A second thread hashes a whole stream while the first holds a filled read
// buffer in the middle of its own: neither may see the other's state or data.
TEST(HashFileScripted, SecondThreadHashesWhileTheFirstHoldsItsBuffer) {
    const int64_t sizes[3] = {0, 200000, 150001};
    uint8_t digests[3][64];
    int openGate = 0;
    auto hash = [&](FileHandle stream) {
        std::atomic<uint64_t> bytesDone(0);
        HashFile(stream, sizes[stream], &openGate, &bytesDone, digests[stream]);
    };
    std::thread first(hash, 1);
    bool held;
    {
        std::unique_lock<std::mutex> lock(OtherStreamMutex);
        held = OtherStreamChanged.wait_for(lock, std::chrono::seconds(20), [] { return FirstHoldsItsBuffer; });
    }
    std::thread second(hash, 2);
    second.join();
    {
        std::lock_guard<std::mutex> lock(OtherStreamMutex);
        FirstMayGoOn = true;
        OtherStreamChanged.notify_all();
    }
    first.join();
    ASSERT_TRUE(held) << "the first thread never read";
    EXPECT_EQ(HexOf(digests[1], 64), ReferenceHex(200000, 200000, OtherStreamStart[1]));
    EXPECT_EQ(HexOf(digests[2], 64), ReferenceHex(150001, 150001, OtherStreamStart[2]));
}
