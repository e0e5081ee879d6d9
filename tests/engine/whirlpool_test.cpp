// The tables, the compression routines and the choice between them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "engine/whirlpool.h"
#include "reference_whirlpool.h"
#include "test_support.h"

static std::string EntryHex(int table, int x) { return HexOf(WhirlpoolTables[table][x], 8); }

TEST(WhirlpoolTables, CheckValues) {
    EXPECT_EQ(EntryHex(0, 0), "18186018C07830D8");
    EXPECT_EQ(EntryHex(1, 0), "D818186018C07830");
    EXPECT_EQ(EntryHex(7, 0), "186018C07830D818");
    EXPECT_EQ(HexOf(RoundConstants, 8), "1823C6E887B8014F");
    EXPECT_EQ(0, std::memcmp(RoundConstants, SBox, 80));
    EXPECT_EQ(HexOf(SBox, 4), "1823C6E8");
    EXPECT_EQ(SBox[255], 0x86);
}

// Every entry of every table against the definition: byte j of Ck[x] is
// SBox[x] times c[(j - k) mod 8] in GF(2^8).
TEST(WhirlpoolTables, EveryEntryIsTheTurnedCirculantRow) {
    static const uint8_t circulant[8] = {1, 1, 4, 1, 8, 5, 2, 9};
    bool permutation[256] = {};
    for (int x = 0; x < 256; x++) permutation[SBox[x]] = true;
    for (int x = 0; x < 256; x++) ASSERT_TRUE(permutation[x]) << "SBox misses " << x;
    for (int k = 0; k < 8; k++) {
        for (int x = 0; x < 256; x++) {
            for (int j = 0; j < 8; j++) {
                uint8_t a = SBox[x], b = circulant[(j - k + 8) % 8], product = 0;
                for (; b; b >>= 1) {
                    if (b & 1) product ^= a;
                    a = static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1D : 0));
                }
                ASSERT_EQ(WhirlpoolTables[k][x][j], product) << "C" << k << "[" << x << "] byte " << j;
            }
        }
    }
}

// The first routine, in the order of preference, that the processor runs.
TEST(WhirlpoolChoice, FastestRoutineTheProcessorRuns) {
    const CompressRoutine* expected = nullptr;
    for (const CompressRoutine& routine : CompressRoutines) {
        if (MissingFeatures(routine).empty()) {
            expected = &routine;
            break;
        }
    }
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(CompressBlock, expected->compress) << "expected " << expected->name;
    // Files side by side only with the AVX-512 routine.
    bool lanes = expected->compress == CompressBlockAvx512;
    EXPECT_EQ(LaneCount, lanes ? Avx512Lanes : 1);
    EXPECT_TRUE(!lanes || CompressLanes == CompressLanesAvx512);
}

class EachRoutine : public testing::TestWithParam<CompressRoutine> {};
INSTANTIATE_TEST_SUITE_P(Whirlpool, EachRoutine, testing::ValuesIn(CompressRoutines), NameOfRoutine);

// Each vector with the message and the state at several offsets from alignment.
TEST_P(EachRoutine, KnownAnswersAlignedAndUnaligned) {
    const CompressRoutine& routine = GetParam();
    SKIP_UNLESS_PROCESSOR_RUNS(routine);
    const size_t offsets[][2] = {{0, 0}, {1, 3}, {7, 9}, {13, 15}};
    for (const KnownAnswer& answer : KnownAnswers) {
        std::vector<uint8_t> expected = BytesFromHex(answer.digestHex);
        const uint8_t* message = reinterpret_cast<const uint8_t*>(answer.message.data());
        for (const auto& offset : offsets) {
            uint8_t digest[64];
            DigestWithRoutine(routine.compress, message, answer.message.size(), offset[0], offset[1], digest);
            EXPECT_EQ(HexOf(digest, 64), HexOf(expected.data(), 64))
                << answer.name << ", offsets " << offset[0] << "/" << offset[1];
        }
    }
}

TEST(WhirlpoolKnownAnswers, ReferenceImplementationAgrees) {
    for (const KnownAnswer& answer : KnownAnswers) {
        uint8_t digest[64];
        ReferenceDigest(reinterpret_cast<const uint8_t*>(answer.message.data()), answer.message.size(),
                        digest);
        EXPECT_EQ(HexOf(digest, 64), answer.digestHex) << answer.name;
    }
}

// In memory: the vectors, and every length across the padding's two cases
// (31/32/33 bytes in the last block) and several blocks, unaligned.
TEST(WhirlpoolKnownAnswers, HashBytesAgrees) {
    for (const KnownAnswer& answer : KnownAnswers) {
        uint8_t digest[64];
        HashBytes(reinterpret_cast<const uint8_t*>(answer.message.data()), answer.message.size(), digest);
        EXPECT_EQ(HexOf(digest, 64), answer.digestHex) << answer.name;
    }
    std::vector<uint8_t> bytes = PatternBytes(201, 7);
    for (size_t length = 0; length <= 200; length++) {
        uint8_t digest[64], reference[64];
        HashBytes(bytes.data() + 1, length, digest);
        ReferenceDigest(bytes.data() + 1, length, reference);
        ASSERT_EQ(HexOf(digest, 64), HexOf(reference, 64)) << length << " bytes";
    }
}

// Random states and blocks at every offset modulo 64, the state on this stack
// frame: the routine must agree with the scalar one (and, now and then, with the
// reference) and may not touch a byte outside its 64.
TEST_P(EachRoutine, AgreesWithScalarOnRandomStatesAndBlocks) {
    const CompressRoutine& routine = GetParam();
    SKIP_UNLESS_PROCESSOR_RUNS(routine);
    std::mt19937 generator(20240611);
    for (int trial = 0; trial < 4096; trial++) {
        uint8_t blockBuffer[64 + 80], state[64 + 80], stateScalar[64 + 80], reference[64];
        for (auto& b : blockBuffer) b = static_cast<uint8_t>(generator());
        for (auto& b : state) b = static_cast<uint8_t>(generator());
        std::memcpy(stateScalar, state, sizeof state);
        size_t blockOffset = trial % 64 + 8, stateOffset = (trial / 64) % 64 + 8;
        uint8_t blockCopy[sizeof blockBuffer], stateCopy[sizeof state];
        std::memcpy(blockCopy, blockBuffer, sizeof blockBuffer);
        std::memcpy(stateCopy, state, sizeof state);
        std::memcpy(reference, state + stateOffset, 64);
        if (trial % 50 == 0) ReferenceCompress(reference, blockBuffer + blockOffset);

        routine.compress(state + stateOffset, blockBuffer + blockOffset);
        CompressBlockScalar(stateScalar + stateOffset, blockBuffer + blockOffset);

        ASSERT_EQ(HexOf(state, sizeof state), HexOf(stateScalar, sizeof stateScalar)) << "trial " << trial;
        ASSERT_EQ(0, std::memcmp(blockBuffer, blockCopy, sizeof blockBuffer)) << "block written";
        ASSERT_EQ(0, std::memcmp(state, stateCopy, stateOffset)) << "before the state written";
        ASSERT_EQ(0, std::memcmp(state + stateOffset + 64, stateCopy + stateOffset + 64,
                                 sizeof state - stateOffset - 64))
            << "after the state written";
        if (trial % 50 == 0) {
            ASSERT_EQ(HexOf(reference, 64), HexOf(state + stateOffset, 64)) << "trial " << trial;
        }
    }
}
