// The record kept beside a digest (stream zr, xattr user.zr): what the file
// was when its contents were read, so that a later check can tell an edit
// (the time moved on) from silent corruption (same size and time, other
// digest). Tied to the 64 digest bytes by a check value: a digest rewritten
// by a program that does not know the record leaves a stale record, which is
// ignored. Pure and portable; the README gives the layout byte by byte.
#pragma once

#include <cstdint>

const int DigestRecordBytes = 32;
const uint8_t DigestRecordVersion = 1;

#include "platform/platform.h"

// The tables of the engine must be built (BuildWhirlpoolTables).
void EncodeDigestRecord(const uint8_t digest[64], const FileFacts& facts, uint8_t out[DigestRecordBytes]);

enum RecordState {
    RecordUsable,
    // length 0: no record beside the digest.
    RecordMissing,
    // Not tied to this digest (written for another, or damaged), of another
    // length, version or time unit: to be ignored, never trusted.
    RecordStale,
};
// recorded is filled only when the record is usable.
RecordState ReadDigestRecord(const uint8_t* bytes, int length, const uint8_t digest[64], FileFacts* recorded);

enum EditVerdict {
    FileUnchanged,     // same size, same time at the precision both still have
    FileEdited,        // a later time
    FileOlderVersion,  // an earlier time than recorded: replaced by an older version
    FileResized,       // the same time, another size: no write through the file system does that
};
// Times are compared at the coarser precision of the two (see the README's
// precision rule), so a copy that only lost precision is not an edit.
EditVerdict JudgeEdit(const FileFacts& recorded, const FileFacts& now);

// A POSIX time past what nanoseconds in 64 bits hold, kept at the nearest
// end: its order against others holds, its value is not known.
bool FileTimeOutOfRange(const FileFacts& facts);

// A time as whole seconds since 1970-01-01 UTC (rounded down) and the
// nanoseconds after them, exact for every value of either unit. False for an
// unknown unit.
bool SplitFileTime(const FileFacts& facts, int64_t* seconds, int32_t* nanoseconds);
