// JSON lines: the exact text of tricky records on both systems, and the
// times. (json_lines_check.py reads the same kind of lines with a parser.)
#include <string>

#include "cli/json_record.h"
#include "gtest/gtest.h"

namespace {

TEST(JsonRecords, TimesInIsoForm) {
    const int64_t WindowsOffset = 116444736000000000;
    struct Row {
        FileFacts facts;
        const char* text;
    } rows[] = {
        {{0, 0, TimeUnitPosix}, "1970-01-01T00:00:00.000000000Z"},
        {{0, 1700000000123456789, TimeUnitPosix}, "2023-11-14T22:13:20.123456789Z"},
        {{0, -1, TimeUnitPosix}, "1969-12-31T23:59:59.999999999Z"},
        {{0, WindowsOffset + 17000000001234567, TimeUnitWindows}, "2023-11-14T22:13:20.1234567Z"},
        {{0, 0, TimeUnitWindows}, "1601-01-01T00:00:00.0000000Z"},
        // 2000-02-29 and 2100-03-01: the leap rules of 400 and 100 years
        {{0, 951782400LL * 1000000000, TimeUnitPosix}, "2000-02-29T00:00:00.000000000Z"},
        {{0, 4107542400LL * 1000000000, TimeUnitPosix}, "2100-03-01T00:00:00.000000000Z"},
        {{0, INT64_MAX - 1, TimeUnitPosix}, "2262-04-11T23:47:16.854775806Z"},
        {{0, INT64_MIN + 1, TimeUnitPosix}, "1677-09-21T00:12:43.145224193Z"},
        // the ends stand for times beyond them: none is told
        {{0, INT64_MAX, TimeUnitPosix}, ""},
        {{0, INT64_MIN, TimeUnitPosix}, ""},
        {{0, INT64_MAX, TimeUnitWindows}, "+30828-09-14T02:48:05.4775807Z"},
        {{0, INT64_MIN, TimeUnitWindows}, "-27627-04-19T21:11:54.5224192Z"},
    };
    for (const Row& row : rows) EXPECT_EQ(FormatIsoTime(row.facts), row.text);
}

TEST(JsonRecords, PosixLines) {
    uint8_t stored[64], computed[64];
    for (int i = 0; i < 64; i++) stored[i] = static_cast<uint8_t>(i), computed[i] = static_cast<uint8_t>(255 - i);
    FileFacts facts = {18446744073709551615ULL, 1700000000123456789, TimeUnitPosix};
    FileFacts recorded = {7, 0, TimeUnitPosix};
    std::string digests = ",\"stored\":\"000102\",\"computed\":\"";
    for (int i = 0; i < 64; i++) {
        char hex[3];
        snprintf(hex, sizeof hex, "%02x", 255 - i);
        digests += hex;
    }
    digests += "\",\"size\":18446744073709551615,\"modified\":\"2023-11-14T22:13:20.123456789Z\"";
    struct Row {
        JsonRecordOf<char> record;
        std::string line;
    } rows[] = {
        {{"no-digest", "/d/a.txt", nullptr, nullptr, 0, nullptr, nullptr, nullptr, 0},
         "{\"word\":\"no-digest\",\"path\":\"/d/a.txt\"}\n"},
        {{"unreadable", "q\"b\\s\n\x01\x7f\xC2\x85\xC3\xA9\xE2\x82\xAC", "Permission denied", nullptr, 0, nullptr,
          nullptr, nullptr, 0},
         "{\"word\":\"unreadable\",\"path\":\"q\\\"b\\\\s\\n\\u0001\\u007f\\u0085\xC3\xA9\xE2\x82\xAC\","
         "\"reason\":\"Permission denied\"}\n"},
        // not UTF-8: the bytes in hex; a reason that is not gets U+FFFD; the
        // record's facts beside the file's
        {{"altered", "x\xFFy\xC3", "bad \xC0", stored, 3, computed, &facts, &recorded, 3},
         "{\"word\":\"altered\",\"path_hex\":\"78ff79c3\",\"reason\":\"bad \xEF\xBF\xBD\"" + digests +
             ",\"recorded_size\":7,\"recorded_modified\":\"1970-01-01T00:00:00.000000000Z\"}\n"},
        {{"malformed", "e", "", stored, 0, nullptr, nullptr, nullptr, 0}, "{\"word\":\"malformed\",\"path\":\"e\",\"stored\":\"\"}\n"},
        // a value longer than the bytes shown says its length
        {{"malformed", "e", "", stored, 2, nullptr, nullptr, nullptr, 100},
         "{\"word\":\"malformed\",\"path\":\"e\",\"stored\":\"0001\",\"stored_length\":100}\n"},
    };
    for (const Row& row : rows) EXPECT_EQ(FormatJsonRecord(row.record), row.line);
}

TEST(JsonRecords, WindowsLines) {
    FileFacts facts = {5, 0, TimeUnitWindows};
    JsonRecordOf<wchar_t> valid = {L"hashed", L"C:\\d\\\xD83D\xDE00\t", nullptr, nullptr, 0, nullptr, &facts, nullptr, 0};
    EXPECT_EQ(FormatJsonRecord(valid),
              L"{\"word\":\"hashed\",\"path\":\"C:\\\\d\\\\\xD83D\xDE00\\t\",\"size\":5,"
              L"\"modified\":\"1601-01-01T00:00:00.0000000Z\"}\n");
    // A lone surrogate: the UTF-16LE units in hex.
    JsonRecordOf<wchar_t> lone = {L"hashed", L"C:\\\xDC00\xE9", nullptr, nullptr, 0, nullptr, nullptr, nullptr, 0};
    EXPECT_EQ(FormatJsonRecord(lone), L"{\"word\":\"hashed\",\"path_hex\":\"43003a005c0000dce900\"}\n");
}

}  // namespace
