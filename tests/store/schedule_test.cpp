// The schedule's decisions and the ledger's entries: pure, every build.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "store/ledger.h"
#include "store/schedule.h"

// Every digest in exactly one slice, each slice a range of the first 8
// bytes: over random digests, at both ends, and for N up to 2^32 - 1.
TEST(Schedule, SlicesPartitionTheDigests) {
    std::mt19937_64 random(24);
    for (uint32_t n : {1u, 2u, 3u, 7u, 256u, 1000u, 65537u, 0xFFFFFFFFu}) {
        uint8_t low[64] = {}, high[64];
        std::memset(high, 0xFF, sizeof high);
        EXPECT_EQ(SliceOfDigest(low, n), 1u) << n;
        EXPECT_EQ(SliceOfDigest(high, n), n) << n;
        uint64_t previous = 0;
        uint32_t previousSlice = 1;
        for (int i = 0; i < 2000; ++i) {
            uint64_t key = previous + (random() >> 10);
            if (key < previous) break;
            uint8_t digest[64];
            for (int b = 0; b < 64; ++b) digest[b] = static_cast<uint8_t>(b < 8 ? key >> (56 - 8 * b) : random());
            uint32_t slice = SliceOfDigest(digest, n);
            // Ascending keys never go back a slice: the slices are ranges.
            EXPECT_TRUE(slice >= previousSlice && slice <= n) << n << " " << key;
            previous = key;
            previousSlice = slice;
        }
    }
    EXPECT_EQ(ScaleKey(1ull << 63, 3), 1u);
    EXPECT_EQ(ScaleKey((1ull << 63) - 1, 2), 0u);
}

TEST(Schedule, ParsesWhatPeopleType) {
    struct Row {
        const char* text;
        int kind;  // 0 slice, 1 age, 2 budget
        bool taken;
        uint64_t first, second;  // K and N; minutes; minutes and bytes
    } rows[] = {
        {"1/1", 0, true, 1, 1},       {"3/7", 0, true, 3, 7},     {"4294967295/4294967295", 0, true, 0xFFFFFFFF, 0xFFFFFFFF},
        {"0/3", 0, false, 0, 0},      {"4/3", 0, false, 0, 0},    {"1/4294967296", 0, false, 0, 0},
        {"1/", 0, false, 0, 0},       {"1/3x", 0, false, 0, 0},   {"/3", 0, false, 0, 0},
        {"30d", 1, true, 43200, 0},   {"0m", 1, true, 0, 0},      {"12h", 1, true, 720, 0},
        {"2w", 1, true, 20160, 0},    {"30", 1, false, 0, 0},     {"30D", 1, false, 0, 0},
        {"d", 1, false, 0, 0},        {"5000000000m", 1, false, 0, 0},
        {"2h", 2, true, 120, 0},      {"200G", 2, true, 0, 200000000000ull},
        {"500M", 2, true, 0, 500000000}, {"2T", 2, true, 0, 2000000000000ull},
        {"0h", 2, false, 0, 0},       {"0G", 2, false, 0, 0},     {"200g", 2, false, 0, 0},
        {"1.5G", 2, false, 0, 0},     {"", 2, false, 0, 0},
    };
    for (const Row& row : rows) {
        PathString text;
        for (const char* p = row.text; *p; ++p) text.push_back(static_cast<PathChar>(*p));
        uint32_t a = 0, b = 0;
        uint64_t bytes = 0;
        bool taken = row.kind == 0   ? ParseSlice(text.c_str(), &a, &b)
                     : row.kind == 1 ? ParseAge(text.c_str(), &a)
                                     : ParseBudget(text.c_str(), &a, &bytes);
        EXPECT_EQ(taken, row.taken) << row.text;
        if (!taken) continue;
        EXPECT_EQ(a, row.first) << row.text;
        EXPECT_EQ(row.kind == 2 ? bytes : b, row.second) << row.text;
    }
}

TEST(Schedule, DueAndRounds) {
    const uint32_t Now = 29000000, Day = 1440;
    struct Row {
        bool known;
        uint32_t verified, period;
        bool due;
    } rows[] = {
        {false, 0, 30 * Day, true},            // never verified
        {true, Now - 29 * Day, 30 * Day, false},
        {true, Now - 30 * Day, 30 * Day, true},  // the period reached
        {true, Now, 0, true},                    // 0: everything
        {true, Now + 60, 30 * Day, true},        // after now: the clock went back
    };
    for (const Row& row : rows) EXPECT_EQ(IsDue(row.known, row.verified, Now, row.period), row.due) << row.verified;

    // Due files by day: the rounds end at the day that reaches each quarter.
    struct Rounds {
        std::vector<uint32_t> days;
        std::vector<uint64_t> counts;
        std::vector<uint32_t> bounds;
    } plans[] = {
        {{}, {}, {}},
        {{0}, {500}, {0}},
        {{0, 20000, 20001, 20002}, {10, 10, 10, 10}, {0, 20000, 20001, 20002}},
        {{0, 20000}, {90, 10}, {0, 20000}},                        // one day holds three quarters
        {{1, 2, 3, 4, 5, 6, 7, 8}, {1, 1, 1, 1, 1, 1, 1, 1}, {2, 4, 6, 8}},
        {{1, 2, 3, 4, 5, 6}, {1, 1, 1, 1, 1, 95}, {6}},  // no quarter before the last day
    };
    for (const Rounds& plan : plans) {
        uint32_t bounds[MaxScheduleRounds];
        int n = ChooseRoundBounds(plan.days.data(), plan.counts.data(), static_cast<int>(plan.days.size()), bounds);
        EXPECT_EQ(std::vector<uint32_t>(bounds, bounds + n), plan.bounds) << plan.days.size();
    }
}

// An entry fits only its key, facts and digest; a torn one fits nothing.
TEST(Schedule, LedgerEntries) {
    uint8_t digest[64], other[64];
    for (int i = 0; i < 64; ++i) digest[i] = other[i] = static_cast<uint8_t>(i * 7);
    other[63] ^= 1;
    FileFacts facts = {1234, 1700000000123456789, TimeUnitPosix};
    uint64_t key = LedgerKeyOf(FileIdentity{2049, 77});
    EXPECT_NE(key, LedgerKeyOf(FileIdentity{2049, 78}));
    EXPECT_NE(key, LedgerKeyOf(FileIdentity{2050, 77}));
    uint8_t entry[LedgerEntryBytes], empty[LedgerEntryBytes] = {};
    EncodeLedgerEntry(key, facts, digest, 28000000, entry);
    FileFacts resized = facts, touched = facts, otherUnit = facts;
    resized.size++;
    touched.time++;
    otherUnit.unit = TimeUnitWindows;
    struct Row {
        const char* what;
        int tornAt;  // a byte flipped, or -1
        uint64_t key;
        const FileFacts* facts;
        const uint8_t* digest;
        LedgerEntryState state;
    } rows[] = {
        {"as written", -1, key, &facts, digest, EntryFits},
        {"another file", -1, key + 1, &facts, digest, EntryOfOtherKey},
        {"another size", -1, key, &resized, digest, EntryDoesNotFit},
        {"another time", -1, key, &touched, digest, EntryDoesNotFit},
        {"another unit", -1, key, &otherUnit, digest, EntryDoesNotFit},
        {"another digest", -1, key, &facts, other, EntryDoesNotFit},
        {"torn minute", 25, key, &facts, digest, EntryDoesNotFit},
        {"torn check", 30, key, &facts, digest, EntryDoesNotFit},
    };
    for (const Row& row : rows) {
        uint8_t bytes[LedgerEntryBytes];
        std::memcpy(bytes, entry, sizeof bytes);
        if (row.tornAt >= 0) bytes[row.tornAt] ^= 0x10;
        uint32_t minute = 0;
        EXPECT_EQ(ReadLedgerEntry(bytes, row.key, *row.facts, row.digest, &minute), row.state) << row.what;
        if (row.state == EntryFits) {
            EXPECT_EQ(minute, 28000000u);
        }
    }
    EXPECT_EQ(ReadLedgerEntry(empty, key, facts, digest, nullptr), EntryEmpty);
}
