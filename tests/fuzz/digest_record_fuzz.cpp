// The record beside the digest: any bytes read as a record are never taken
// for usable unless they encode again to themselves; and the verdict on two
// files' facts agrees with a plain 128-bit reading of the precision rule.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/whirlpool.h"
#include "store/digest_record.h"

static uint64_t Take64(const uint8_t*& data, size_t& size) {
    uint64_t value = 0;
    for (int i = 0; i < 8 && size > 0; i++, data++, size--) value |= static_cast<uint64_t>(*data) << (8 * i);
    return value;
}

// Exact nanoseconds since 1970.
static __int128 ReferenceNanoseconds(const FileFacts& facts) {
    if (facts.unit == TimeUnitWindows) return (static_cast<__int128>(facts.time) - 116444736000000000LL) * 100;
    return facts.time;
}

static __int128 ReferencePrecision(__int128 ns) {
    const __int128 steps[] = {2000000000, 1000000000, 1000000, 1000, 100};
    for (__int128 step : steps) {
        if (ns % step == 0) return step;
    }
    return 1;
}

static EditVerdict ReferenceVerdict(const FileFacts& recorded, const FileFacts& now) {
    __int128 a = ReferenceNanoseconds(recorded), b = ReferenceNanoseconds(now);
    __int128 p = ReferencePrecision(a) > ReferencePrecision(b) ? ReferencePrecision(a) : ReferencePrecision(b);
    if (b - a <= -p) return FileOlderVersion;
    if (b - a >= p) return FileEdited;
    return recorded.size != now.size ? FileResized : FileUnchanged;
}

static FileFacts TakeFacts(const uint8_t*& data, size_t& size) {
    FileFacts facts;
    uint64_t flags = Take64(data, size);
    facts.unit = flags & 1 ? TimeUnitWindows : TimeUnitPosix;
    facts.size = flags & 2 ? Take64(data, size) : (flags >> 8) & 3;
    int64_t time = static_cast<int64_t>(Take64(data, size));
    // Now and then a time near a whole second, where the precision rule bites.
    int64_t second = facts.unit == TimeUnitWindows ? 10000000 : 1000000000;
    if ((flags & 4) && time > INT64_MIN + 4 * second && time < INT64_MAX - 4 * second) {
        int64_t rest = time % second;
        time -= rest < 0 ? rest + second : rest;
        time += static_cast<int8_t>(flags >> 16);
    }
    facts.time = time;
    return facts;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool tablesBuilt = (BuildWhirlpoolTables(), true);
    (void)tablesBuilt;
    uint8_t digest[64] = {};
    std::memcpy(digest, data, size < 64 ? size : 64);

    // The bytes after the digest, as a stored record.
    if (size >= 64) {
        const uint8_t* record = data + 64;
        int length = static_cast<int>(size - 64);
        FileFacts read;
        RecordState state = ReadDigestRecord(record, length, digest, &read);
        if (length == 0 && state != RecordMissing) abort();
        if (state == RecordUsable) {
            uint8_t again[DigestRecordBytes];
            EncodeDigestRecord(digest, read, again);
            if (length != DigestRecordBytes || std::memcmp(again, record, DigestRecordBytes) != 0) abort();
        }
    }

    // Facts from the bytes: written and read back, and judged as the rule says.
    const uint8_t* at = data;
    size_t left = size;
    FileFacts recorded = TakeFacts(at, left), now = TakeFacts(at, left);
    // Often the same moment as the other system keeps it, or close to it.
    uint64_t near = Take64(at, left);
    if ((near & 3) == 1 && recorded.unit == TimeUnitPosix && now.unit == TimeUnitWindows &&
        recorded.time < INT64_MAX - 2000000000) {
        now.time = recorded.time / 100 + 116444736000000000LL + static_cast<int8_t>(near >> 8);
    } else if ((near & 3) == 2 && recorded.unit == TimeUnitWindows && now.unit == TimeUnitPosix &&
               recorded.time > 116444736000000000LL - 90000000000000000LL &&
               recorded.time < 116444736000000000LL + 90000000000000000LL) {
        now.time = (recorded.time - 116444736000000000LL) * 100 + static_cast<int16_t>(near >> 8);
    } else if ((near & 3) == 3 && now.unit == recorded.unit && recorded.time > INT64_MIN + 4000000000LL &&
               recorded.time < INT64_MAX - 4000000000LL) {
        now.time = recorded.time + static_cast<int32_t>(near >> 8) % 3000000000LL;
    }
    uint8_t record[DigestRecordBytes];
    EncodeDigestRecord(digest, recorded, record);
    FileFacts read;
    if (ReadDigestRecord(record, DigestRecordBytes, digest, &read) != RecordUsable) abort();
    if (read.size != recorded.size || read.time != recorded.time || read.unit != recorded.unit) abort();
    if (JudgeEdit(recorded, now) != ReferenceVerdict(recorded, now)) abort();
    if (JudgeEdit(now, now) != FileUnchanged) abort();
    return 0;
}
