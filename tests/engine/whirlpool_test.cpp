// The tables, the two compression routines and the choice between them.
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

TEST(WhirlpoolChoice, FollowsTheProcessorsSse2Flag) {
#if defined(__i386__) || defined(__x86_64__)
    EXPECT_EQ(CompressBlock, ProcessorRunsSse2() ? CompressBlockSse2 : CompressBlockScalar);
#else
    EXPECT_EQ(CompressBlock, CompressBlockScalar);
#endif
}


// Each vector through each routine, with the message and the state at several
// offsets from alignment.
TEST(WhirlpoolKnownAnswers, BothRoutinesAlignedAndUnaligned) {
    const size_t offsets[][2] = {{0, 0}, {1, 3}, {7, 9}, {13, 15}};
    for (const KnownAnswer& answer : KnownAnswers) {
        std::vector<uint8_t> expected = BytesFromHex(answer.digestHex);
        const uint8_t* message = reinterpret_cast<const uint8_t*>(answer.message.data());
        for (const CompressRoutine& routine : RunnableRoutines()) {
            for (const auto& offset : offsets) {
                uint8_t digest[64];
                DigestWithRoutine(routine.compress, message, answer.message.size(), offset[0], offset[1],
                                  digest);
                EXPECT_EQ(HexOf(digest, 64), HexOf(expected.data(), 64))
                    << answer.name << ", " << routine.name << ", offsets " << offset[0] << "/" << offset[1];
            }
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

// Random states and blocks at every offset modulo 16, the state on this stack
// frame; both routines and the reference must agree, and neither may touch a
// byte outside its 64.
TEST(WhirlpoolRoutines, AgreeOnRandomStatesAndBlocks) {
    if (!ProcessorRunsSse2()) GTEST_SKIP() << "no SSE2 on this processor: nothing to compare";
    std::mt19937 generator(20240611);
    for (int trial = 0; trial < 4000; trial++) {
        uint8_t blockBuffer[64 + 32], stateSse2[64 + 32], stateScalar[64 + 32], reference[64];
        for (auto& b : blockBuffer) b = static_cast<uint8_t>(generator());
        for (auto& b : stateSse2) b = static_cast<uint8_t>(generator());
        std::memcpy(stateScalar, stateSse2, sizeof stateSse2);
        size_t blockOffset = trial % 16 + 8, stateOffset = (trial / 16) % 16 + 8;
        uint8_t blockCopy[sizeof blockBuffer], stateCopy[sizeof stateSse2];
        std::memcpy(blockCopy, blockBuffer, sizeof blockBuffer);
        std::memcpy(stateCopy, stateSse2, sizeof stateSse2);
        std::memcpy(reference, stateSse2 + stateOffset, 64);
        if (trial % 50 == 0) ReferenceCompress(reference, blockBuffer + blockOffset);

        BlockPtr = blockBuffer + blockOffset;
        StatePtr = stateSse2 + stateOffset;
        CompressBlockSse2();
        StatePtr = stateScalar + stateOffset;
        CompressBlockScalar();

        ASSERT_EQ(HexOf(stateSse2, sizeof stateSse2), HexOf(stateScalar, sizeof stateScalar))
            << "trial " << trial;
        ASSERT_EQ(0, std::memcmp(blockBuffer, blockCopy, sizeof blockBuffer)) << "block written";
        ASSERT_EQ(0, std::memcmp(stateSse2, stateCopy, stateOffset)) << "before the state written";
        ASSERT_EQ(0, std::memcmp(stateSse2 + stateOffset + 64, stateCopy + stateOffset + 64,
                                 sizeof stateSse2 - stateOffset - 64))
            << "after the state written";
        if (trial % 50 == 0) {
            ASSERT_EQ(HexOf(reference, 64), HexOf(stateSse2 + stateOffset, 64));
        }
    }
}
