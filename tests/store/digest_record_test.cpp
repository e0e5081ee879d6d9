// The record beside the digest: its bytes, what makes it stale, and the
// verdict on the file's size and time.
#include <cstring>
#include <string>

#include "engine/whirlpool.h"
#include "gtest/gtest.h"
#include "store/digest_record.h"
#include "store/file_outcome.h"

namespace {

std::string Hex(const uint8_t* bytes, int count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < count; i++) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

class DigestRecord : public testing::Test {
protected:
    static void SetUpTestSuite() { BuildWhirlpoolTables(); }
};

// The bytes are the format other builds and systems read: fixed here, the
// check values computed with OpenSSL's Whirlpool.
TEST_F(DigestRecord, KnownBytes) {
    struct Row {
        uint8_t digestByte;  // digest[i] = i when 1, all zero when 0
        FileFacts facts;
        const char* hex;
    } rows[] = {
        // 2024-01-01T00:00:00Z in 100 ns units since 1601
        {1, {0x0102030405060708, 133485408000000000, TimeUnitWindows},
         "0101000000000000080706050403020100c08976453cda0105a466374bd447e4"},
        // one nanosecond before 1970, empty file
        {0, {0, -1, TimeUnitPosix}, "01020000000000000000000000000000ffffffffffffffffa5e3d39181405a0e"},
    };
    for (const Row& row : rows) {
        uint8_t digest[64], record[DigestRecordBytes];
        for (int i = 0; i < 64; i++) digest[i] = row.digestByte ? static_cast<uint8_t>(i) : 0;
        EncodeDigestRecord(digest, row.facts, record);
        EXPECT_EQ(Hex(record, DigestRecordBytes), row.hex);
        FileFacts read = {};
        ASSERT_EQ(ReadDigestRecord(record, DigestRecordBytes, digest, &read), RecordUsable);
        EXPECT_EQ(read.size, row.facts.size);
        EXPECT_EQ(read.time, row.facts.time);
        EXPECT_EQ(read.unit, row.facts.unit);
    }
}

// Anything that does not tie the record to these 64 bytes is stale, never
// usable: another digest, a rotted byte anywhere, another length, version or
// unit, reserved bytes set (even with a check value that fits them).
TEST_F(DigestRecord, StaleOrMissing) {
    uint8_t digest[64], record[DigestRecordBytes + 1];
    for (int i = 0; i < 64; i++) digest[i] = static_cast<uint8_t>(i * 7);
    FileFacts facts = {12345, 1700000000123456789, TimeUnitPosix}, read = {};
    EncodeDigestRecord(digest, facts, record);

    EXPECT_EQ(ReadDigestRecord(record, 0, digest, &read), RecordMissing);
    EXPECT_EQ(ReadDigestRecord(record, DigestRecordBytes - 1, digest, &read), RecordStale);
    EXPECT_EQ(ReadDigestRecord(record, DigestRecordBytes + 1, digest, &read), RecordStale);
    for (int bit = 0; bit < 64 * 8; bit++) {
        digest[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
        ASSERT_EQ(ReadDigestRecord(record, DigestRecordBytes, digest, &read), RecordStale) << "digest bit " << bit;
        digest[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
    }
    for (int bit = 0; bit < DigestRecordBytes * 8; bit++) {
        record[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
        ASSERT_EQ(ReadDigestRecord(record, DigestRecordBytes, digest, &read), RecordStale) << "record bit " << bit;
        record[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
    }
    FileFacts unknownUnit = {1, 2, static_cast<TimeUnit>(3)};
    EncodeDigestRecord(digest, unknownUnit, record);
    EXPECT_EQ(ReadDigestRecord(record, DigestRecordBytes, digest, &read), RecordStale);

    // A later version, sealed as this one would seal it: still not understood.
    uint8_t message[64 + 24], hash[64];
    EncodeDigestRecord(digest, facts, record);
    for (int byte : {0, 2, 7}) {
        record[byte] = byte == 0 ? 2 : 1;
        std::memcpy(message, digest, 64);
        std::memcpy(message + 64, record, 24);
        HashBytes(message, sizeof message, hash);
        std::memcpy(record + 24, hash, 8);
        EXPECT_EQ(ReadDigestRecord(record, DigestRecordBytes, digest, &read), RecordStale) << "byte " << byte;
        EncodeDigestRecord(digest, facts, record);
    }
    EXPECT_EQ(ReadDigestRecord(record, DigestRecordBytes, digest, &read), RecordUsable);
}

const int64_t S = 1000000000;                  // a second in ns
const int64_t T = 1700000000 * S + 123456789;  // 2023-11-14T22:13:20.123456789Z
const int64_t WindowsOffset = 116444736000000000;  // 1970 in 100 ns units since 1601

FileFacts Posix(int64_t ns, uint64_t size = 100) { return {size, ns, TimeUnitPosix}; }
FileFacts Windows(int64_t units, uint64_t size = 100) { return {size, units, TimeUnitWindows}; }

TEST(JudgeEdit, ComparesAtThePrecisionBothTimesKeep) {
    struct Row {
        const char* what;
        FileFacts recorded, now;
        EditVerdict verdict;
    } rows[] = {
        {"the same ns", Posix(T), Posix(T), FileUnchanged},
        {"copied with us", Posix(T), Posix(T - 789), FileUnchanged},
        {"copied with ms", Posix(T), Posix(T - 456789), FileUnchanged},
        {"copied with whole seconds", Posix(T), Posix(T - 123456789), FileUnchanged},
        {"rounded up to the second", Posix(T), Posix(T - 123456789 + S), FileUnchanged},
        {"recorded whole, now ns", Posix(T - 123456789), Posix(T), FileUnchanged},
        {"FAT's 2 s, rounded up", Posix(T + S), Posix(T - 123456789 + 2 * S), FileUnchanged},
        {"FAT's 2 s, truncated", Posix(T + S), Posix(T - 123456789), FileUnchanged},
        {"NTFS of a Linux ns time", Posix(T), Windows(WindowsOffset + (T - 89) / 100), FileUnchanged},
        {"back from NTFS to Linux", Windows(WindowsOffset + (T - 89) / 100), Posix(T - 89), FileUnchanged},
        {"a second later on ns", Posix(T), Posix(T + S), FileEdited},
        {"2 ns later", Posix(T), Posix(T + 2), FileEdited},
        {"a us later, both in us", Posix(T - 789), Posix(T - 789 + 1000), FileEdited},
        {"other size, same time", Posix(T, 100), Posix(T, 101), FileResized},
        {"odd whole seconds, 2 s later", Posix(T - 123456789 + S), Posix(T - 123456789 + 3 * S), FileEdited},
        // An even whole second may be FAT's: 1 s off is within its precision.
        {"whole seconds, 1 s later", Posix(T - 123456789 + S), Posix(T - 123456789 + 2 * S), FileUnchanged},
        {"2 s later on FAT", Posix(T - 123456789), Posix(T - 123456789 + 2 * S), FileEdited},
        {"older", Posix(T), Posix(T - S), FileOlderVersion},
        {"older, other size", Posix(T, 100), Posix(T - 5 * S, 7), FileOlderVersion},
        {"older by 2 ns", Posix(T), Posix(T - 2), FileOlderVersion},
        {"before 1970, same", Posix(-5 * S - 300), Posix(-5 * S - 300), FileUnchanged},
        {"before 1970, truncated to s", Posix(-5 * S - 300), Posix(-6 * S), FileUnchanged},
        {"before 1970, later", Posix(-5 * S - 300), Posix(-5 * S + 700), FileEdited},
        {"before 1970 on NTFS", Windows(WindowsOffset - 50000003), Posix(-5 * S - 300), FileUnchanged},
        {"the extremes", Windows(INT64_MAX), Posix(INT64_MIN), FileOlderVersion},
        {"the extremes reversed", Posix(INT64_MIN), Windows(INT64_MAX), FileEdited},
        {"the largest, same", Windows(INT64_MAX), Windows(INT64_MAX), FileUnchanged},
        {"the smallest, same", Windows(INT64_MIN), Windows(INT64_MIN), FileUnchanged},
        {"the smallest ns, same", Posix(INT64_MIN), Posix(INT64_MIN), FileUnchanged},
        {"an unknown unit", {100, T, static_cast<TimeUnit>(9)}, Posix(T), FileEdited},
    };
    for (const Row& row : rows) EXPECT_EQ(JudgeEdit(row.recorded, row.now), row.verdict) << row.what;
}


// The whole decision on a file whose digest was read: the README's table,
// row by row. Times in ns since 1970; the record was written at T, size 100.
TEST(JudgeFile, DecisionTable) {
    const int64_t T = 1700000000123456789, S = 1000000000;
    const RecordState Usable = RecordUsable;
    struct Row {
        const char* what;
        int storedLength;
        int hashProblem;
        bool same;
        RecordState record;
        int64_t time;
        uint64_t size;
        Verdict verdict;
        int reason;
        bool ledgerVerified = false;
    } rows[] = {
        {"no digest", NoDigestStream, 0, false, RecordMissing, T, 100, VerdictNoDigest, 0},
        {"digest unreadable", DigestStreamUnreadable, 0, false, RecordMissing, T, 100, VerdictUnreadable, 0},
        {"digest of another file by now", StreamOfAnotherFile, 0, false, RecordMissing, T, 100, VerdictChanged,
         ErrorChangedWhileRead},
        {"63 bytes", 63, 0, false, RecordMissing, T, 100, VerdictMalformed, 0},
        {"100 bytes", 100, 0, false, Usable, T, 100, VerdictMalformed, 0},
        {"contents unreadable", 64, ErrorShortRead, false, Usable, T, 100, VerdictUnreadable, ErrorShortRead},
        {"changed while read", 64, ErrorChangedWhileRead, false, Usable, T, 100, VerdictChanged,
         ErrorChangedWhileRead},
        // Same contents: the record must still fit, or rot after it passes for an edit.
        {"same, record in step", 64, 0, true, Usable, T, 100, VerdictMatched, 0},
        {"same, copied with whole seconds", 64, 0, true, Usable, T - 123456789, 100, VerdictMatched, 0},
        {"same, touched", 64, 0, true, Usable, T + S, 100, VerdictStaleRecord, ErrorRecordOutOfStep},
        {"same, time put back", 64, 0, true, Usable, T - S, 100, VerdictStaleRecord, ErrorRecordOutOfStep},
        {"same, no record", 64, 0, true, RecordMissing, T, 100, VerdictStaleRecord, ErrorNoRecord},
        {"same, record of another digest", 64, 0, true, RecordStale, T, 100, VerdictStaleRecord, ErrorRecordStale},
        // Other contents: an edit only where the record says it was written since.
        {"other, written since", 64, 0, false, Usable, T + S, 100, VerdictEdited, 0},
        {"other, grown and written since", 64, 0, false, Usable, T + S, 104, VerdictEdited, 0},
        {"other, an older version", 64, 0, false, Usable, T - S, 100, VerdictEdited, ErrorOlderVersion},
        {"other, same size and time: rot", 64, 0, false, Usable, T, 100, VerdictAltered, 0},
        {"other, cut short under the same time", 64, 0, false, Usable, T, 60, VerdictAltered, 0},
        {"other, within the precision", 64, 0, false, Usable, T - 123456789, 100, VerdictAltered, 0},
        {"other, no record", 64, 0, false, RecordMissing, T + S, 104, VerdictAltered, 0},
        {"other, record of another digest", 64, 0, false, RecordStale, T + S, 100, VerdictAltered, 0},
        // The ledger saw it verified at this size and time: no edit, whatever the record says.
        {"other, out of step, ledger verified", 64, 0, false, Usable, T + S, 100, VerdictAltered, 0, true},
        {"other, older version, ledger verified", 64, 0, false, Usable, T - S, 100, VerdictAltered, 0, true},
        {"same, ledger verified", 64, 0, true, Usable, T + S, 100, VerdictStaleRecord, ErrorRecordOutOfStep, true},
    };
    for (const Row& row : rows) {
        FileReading reading = {};
        reading.storedLength = row.storedLength;
        reading.hashProblem = row.hashProblem;
        reading.sameContents = row.same;
        reading.record = row.record;
        reading.recorded = {100, T, TimeUnitPosix};
        reading.current = {row.size, row.time, TimeUnitPosix};
        reading.ledgerVerified = row.ledgerVerified;
        int reason = -1;
        EXPECT_EQ(JudgeFile(reading, &reason), row.verdict) << row.what;
        EXPECT_EQ(reason, row.reason) << row.what;
    }
}

// What import does with a file the manifest names (or not): the README's
// import table, row by row.
TEST(JudgeImport, DecisionTable) {
    struct Row {
        const char* what;
        bool listed;
        int storedLength;
        bool storedIsListed, sizeDiffers;
        int hashProblem;
        bool contentsListed;
        Verdict verdict;
        int reason;
    } rows[] = {
        {"not named", false, NoDigestStream, false, false, 0, true, VerdictUnlisted, 0},
        {"the manifest's digest already", true, 64, true, false, 0, false, VerdictKept, 0},
        {"a digest of its own", true, 64, false, false, 0, true, VerdictConflict, 0},
        {"a malformed value", true, 10, false, false, 0, true, VerdictMalformed, 0},
        {"digest unreadable", true, DigestStreamUnreadable, false, false, 0, true, VerdictUnreadable, 0},
        {"digest of another file by now", true, StreamOfAnotherFile, false, false, 0, true, VerdictChanged,
         ErrorChangedWhileRead},
        {"another size: not read", true, NoDigestStream, false, true, 0, true, VerdictAltered, 0},
        {"contents unreadable", true, NoDigestStream, false, false, ErrorShortRead, true, VerdictUnreadable,
         ErrorShortRead},
        {"changed while read", true, NoDigestStream, false, false, ErrorChangedWhileRead, true, VerdictChanged,
         ErrorChangedWhileRead},
        {"contents as the manifest says", true, NoDigestStream, false, false, 0, true, VerdictWritten, 0},
        {"other contents: rotted on the way", true, NoDigestStream, false, false, 0, false, VerdictAltered, 0},
    };
    for (const Row& row : rows) {
        ImportReading reading = {row.listed, row.storedLength, row.storedIsListed, row.sizeDiffers, row.hashProblem,
                                 row.contentsListed};
        int reason = -1;
        EXPECT_EQ(JudgeImport(reading, &reason), row.verdict) << row.what;
        EXPECT_EQ(reason, row.reason) << row.what;
    }
}

}  // namespace
