// --json: one JSON object a line (RFC 8259) in place of a plain record.
//   {"word":"altered","path":"/d/a.txt","stored":"…","computed":"…",
//    "size":12,"modified":"2024-05-01T09:30:12.123456789Z",
//    "recorded_size":12,"recorded_modified":"2024-05-01T09:30:12.123456789Z"}
// "path" holds the name when it is valid UTF-8 (POSIX) or UTF-16 (Windows);
// otherwise "path_hex" holds its raw bytes, or its UTF-16LE code units, in hex.
// Fields without a value are left out. Pure and portable.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "store/digest_record.h"

template <typename Char>
struct JsonRecordOf {
    const Char* word;
    const Char* path;
    const Char* reason;       // null or empty: none
    const uint8_t* stored;    // storedLength bytes as read (a malformed value may be short); null: none
    int storedLength;
    const uint8_t* computed;  // 64 bytes; null: none
    const FileFacts* facts;   // size and last-write time; null: none
    const FileFacts* recorded;  // the record's size and last-write time; null: none
    int storedWhole;            // the stored value's length, where more than storedLength bytes of it
};
typedef JsonRecordOf<PathChar> JsonRecord;

// The object and a line feed, in the system's text: UTF-8 bytes on POSIX,
// UTF-16 on Windows (the console's writer turns it into UTF-8 when
// redirected). Everything outside the path and the reason is ASCII.
template <typename Char>
std::basic_string<Char> FormatJsonRecord(const JsonRecordOf<Char>& record);

// "2024-05-01T09:30:12.1234567Z": 7 digits of fraction for Windows times, 9
// for POSIX ones. Years beyond 9999 carry a +, years before 0 a - (year 0
// is 1 BC), as ISO 8601's expanded form.
std::string FormatIsoTime(const FileFacts& facts);
