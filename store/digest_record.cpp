#include "store/digest_record.h"

#include "engine/whirlpool.h"

static void PutLittleEndian(uint64_t value, uint8_t* out) {
    for (int i = 0; i < 8; i++) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

static uint64_t GetLittleEndian(const uint8_t* bytes) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; i--) value = (value << 8) | bytes[i];
    return value;
}

// The first 8 bytes of Whirlpool(digest || record bytes 0..23).
static void ComputeCheckValue(const uint8_t digest[64], const uint8_t* record, uint8_t check[8]) {
    uint8_t message[64 + 24], hash[64];
    for (int i = 0; i < 64; i++) message[i] = digest[i];
    for (int i = 0; i < 24; i++) message[64 + i] = record[i];
    HashBytes(message, sizeof message, hash);
    for (int i = 0; i < 8; i++) check[i] = hash[i];
}

void EncodeDigestRecord(const uint8_t digest[64], const FileFacts& facts, uint8_t out[DigestRecordBytes]) {
    out[0] = DigestRecordVersion;
    out[1] = facts.unit;
    for (int i = 2; i < 8; i++) out[i] = 0;
    PutLittleEndian(facts.size, out + 8);
    PutLittleEndian(static_cast<uint64_t>(facts.time), out + 16);
    ComputeCheckValue(digest, out, out + 24);
}

RecordState ReadDigestRecord(const uint8_t* bytes, int length, const uint8_t digest[64], FileFacts* recorded) {
    if (length <= 0) return RecordMissing;
    if (length != DigestRecordBytes || bytes[0] != DigestRecordVersion) return RecordStale;
    if (bytes[1] != TimeUnitWindows && bytes[1] != TimeUnitPosix) return RecordStale;
    for (int i = 2; i < 8; i++) {
        if (bytes[i] != 0) return RecordStale;
    }
    uint8_t check[8];
    ComputeCheckValue(digest, bytes, check);
    // Not a secret: a plain comparison will do.
    for (int i = 0; i < 8; i++) {
        if (check[i] != bytes[24 + i]) return RecordStale;
    }
    recorded->unit = static_cast<TimeUnit>(bytes[1]);
    recorded->size = GetLittleEndian(bytes + 8);
    recorded->time = static_cast<int64_t>(GetLittleEndian(bytes + 16));
    return RecordUsable;
}

// Division rounding towards minus infinity, so that the remainder is never
// negative (times before an epoch).
static void DivideDown(int64_t value, int64_t divisor, int64_t* quotient, int64_t* remainder) {
    int64_t q = value / divisor, r = value % divisor;
    if (r < 0) {
        q -= 1;
        r += divisor;
    }
    *quotient = q;
    *remainder = r;
}

// Seconds from 1601-01-01 to 1970-01-01.
const int64_t WindowsEpochOffset = 11644473600;

bool SplitFileTime(const FileFacts& facts, int64_t* seconds, int32_t* nanoseconds) {
    int64_t whole, rest;
    if (facts.unit == TimeUnitWindows) {
        DivideDown(facts.time, 10000000, &whole, &rest);
        *seconds = whole - WindowsEpochOffset;
        *nanoseconds = static_cast<int32_t>(rest * 100);
        return true;
    }
    if (facts.unit == TimeUnitPosix) {
        DivideDown(facts.time, 1000000000, &whole, &rest);
        *seconds = whole;
        *nanoseconds = static_cast<int32_t>(rest);
        return true;
    }
    return false;
}

// The coarsest of 2 s, 1 s, 1 ms, 1 us, 100 ns and 1 ns that divides the time,
// in nanoseconds. The two epochs lie a whole even number of seconds apart, so
// the answer does not depend on the unit the time came in.
static int64_t PrecisionOf(int64_t seconds, int32_t nanoseconds) {
    if (nanoseconds == 0) return seconds % 2 == 0 ? 2000000000 : 1000000000;
    if (nanoseconds % 1000000 == 0) return 1000000;
    if (nanoseconds % 1000 == 0) return 1000;
    if (nanoseconds % 100 == 0) return 100;
    return 1;
}

EditVerdict JudgeEdit(const FileFacts& recorded, const FileFacts& now) {
    int64_t recordedSeconds, nowSeconds;
    int32_t recordedNanoseconds, nowNanoseconds;
    // Facts that cannot be read are never taken for an unchanged file.
    if (!SplitFileTime(recorded, &recordedSeconds, &recordedNanoseconds)) return FileEdited;
    if (!SplitFileTime(now, &nowSeconds, &nowNanoseconds)) return FileEdited;
    int64_t precision = PrecisionOf(recordedSeconds, recordedNanoseconds);
    int64_t nowPrecision = PrecisionOf(nowSeconds, nowNanoseconds);
    if (nowPrecision > precision) precision = nowPrecision;

    // Seconds lie within +-1e12 of 1970 for either unit, so neither the
    // difference nor, once it is small, its value in nanoseconds overflows.
    int64_t secondsApart = nowSeconds - recordedSeconds;
    int comparison;  // of now against recorded, at the precision
    if (secondsApart > 2) {
        comparison = 1;
    } else if (secondsApart < -2) {
        comparison = -1;
    } else {
        int64_t apart = secondsApart * 1000000000 + (nowNanoseconds - recordedNanoseconds);
        comparison = apart >= precision ? 1 : apart <= -precision ? -1 : 0;
    }
    if (comparison < 0) return FileOlderVersion;
    if (comparison > 0) return FileEdited;
    return now.size != recorded.size ? FileResized : FileUnchanged;
}

bool FileTimeOutOfRange(const FileFacts& facts) {
    return facts.unit == TimeUnitPosix && (facts.time == INT64_MAX || facts.time == INT64_MIN);
}
