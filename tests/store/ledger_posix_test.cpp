// The ledger's file: entries survive growth and reopening; a torn entry or a
// damaged header costs only what it held.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "store/ledger.h"
#include "tests/store/fixtures_posix.h"

static FileFacts FactsOfFile(uint64_t i) { return FileFacts{i * 3, static_cast<int64_t>(i) * 1000000007, TimeUnitPosix}; }

static int CountFound(uint64_t files, const uint8_t digest[64]) {
    int found = 0;
    for (uint64_t i = 0; i < files; ++i) {
        uint32_t minute;
        found += FindVerified(FileIdentity{7, i}, FactsOfFile(i), digest, &minute) && minute + 1 >= MinuteNow();
    }
    return found;
}

TEST(Ledger, KeepsEntriesThroughGrowthAndDamage) {
    std::string folder = MakeTempFolder();
    std::string path = folder + "/state/ledger";
    uint8_t digest[64] = {1, 2, 3}, other[64] = {1, 2, 4};
    const uint64_t Files = 10000;  // past the first table's room, twice
    int error;
    ASSERT_EQ(OpenLedger(LedgerWaits, path, nullptr, &error), LedgerInUse);
    for (uint64_t i = 0; i < Files; ++i) RecordVerified(FileIdentity{7, i}, FactsOfFile(i), digest);
    EXPECT_EQ(CountFound(Files, digest), static_cast<int>(Files));
    EXPECT_EQ(CountFound(Files, other), 0);
    CloseLedger();
    EXPECT_EQ(access((path + ".new").c_str(), F_OK), -1);

    // Reopened; then every entry's check torn, sector by sector.
    ASSERT_EQ(OpenLedger(LedgerWaits, path, nullptr, &error), LedgerInUse);
    EXPECT_EQ(CountFound(Files, digest), static_cast<int>(Files));
    CloseLedger();
    std::string bytes = ReadBytes(path);
    for (size_t at = LedgerHeaderBytes + 28; at < bytes.size(); at += 2 * LedgerEntryBytes) bytes[at] ^= 0x40;
    WriteBytes(path, bytes);
    ASSERT_EQ(OpenLedger(LedgerWaits, path, nullptr, &error), LedgerInUse);
    int kept = CountFound(Files, digest);
    EXPECT_GT(kept, 0);
    EXPECT_LT(kept, static_cast<int>(Files));
    CloseLedger();

    // A header that is not ours: a new, empty ledger in its place.
    bytes[3] ^= 1;
    WriteBytes(path, bytes);
    ASSERT_EQ(OpenLedger(LedgerWaits, path, nullptr, &error), LedgerInUse);
    EXPECT_EQ(CountFound(Files, digest), 0);
    RecordVerified(FileIdentity{7, 1}, FactsOfFile(1), digest);
    EXPECT_EQ(CountFound(2, digest), 1);
    CloseLedger();
    RemoveTree(folder);
}
