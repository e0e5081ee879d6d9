// Plain records: a name cannot forge a record, and every record reads back.
#include <string>

#include "cli/record_text.h"
#include "gtest/gtest.h"

namespace {

template <typename Char>
std::basic_string<Char> Record(const Char* word, const std::basic_string<Char>& path, bool nul, bool windows) {
    std::basic_string<Char> record;
    AppendPlainRecord(word, path.data(), static_cast<int>(path.size()), nul, windows, &record);
    return record;
}

TEST(PlainRecords, EscapedOnlyWhenNeeded) {
    struct Row {
        std::string path;
        bool windowsRules, nul;
        std::string record;
    } rows[] = {
        {"/d/plain name.txt", false, false, "altered  /d/plain name.txt\n"},
        // the forgery: a folder named with a line feed and a whole record
        {"/d/x\naltered  /etc/passwd", false, false, "\\altered  /d/x\\naltered  /etc/passwd\n"},
        {"a\rb\\c\td", false, false, "\\altered  a\\rb\\\\c\\td\n"},
        {std::string("\x01\x1f\x7f", 3), false, false, "\\altered  \\x01\\x1f\\x7f\n"},
        {"caf\xC3\xA9 \xFF", false, false, "altered  caf\xC3\xA9 \xFF\n"},
        // Windows: separators stay single unless the record is escaped
        {"C:\\d\\f.txt", true, false, "altered  C:\\d\\f.txt\n"},
        {"C:\\d\\x\ny", true, false, "\\altered  C:\\\\d\\\\x\\ny\n"},
        // -0: raw
        {"a\nb\\c", false, true, std::string("altered  a\nb\\c\0", 15)},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Record("altered", row.path, row.nul, row.windowsRules), row.record) << row.record;
    }
    std::wstring wide = Record(L"hashed", std::wstring(L"C:\\\xD800\x0B\xE9"), false, true);
    EXPECT_EQ(wide, L"\\hashed  C:\\\\\xD800\\x0b\xE9\n");
}

TEST(PlainRecords, EveryCharacterReadsBack) {
    std::string every;
    for (int c = 1; c < 256; c++) every += static_cast<char>(c);
    for (bool windowsRules : {false, true}) {
        for (const std::string& path : {every, std::string("\\"), std::string("x\\n"), std::string("\\x41")}) {
            std::string record = Record("written", path, false, windowsRules);
            ASSERT_EQ(record.find('\n'), record.size() - 1);
            std::string word, back;
            ASSERT_TRUE(ParsePlainRecord(record.data(), static_cast<int>(record.size()) - 1, &word, &back));
            EXPECT_EQ(word, "written");
            EXPECT_EQ(back, path);
        }
    }
    std::string word, path;
    for (const char* bad : {"\\w  a\\", "\\w  a\\q", "\\w  \\x4", "\\w  \\xg0", "noblanks", "w  a\nb"}) {
        EXPECT_FALSE(ParsePlainRecord(bad, static_cast<int>(std::string(bad).size()), &word, &path)) << bad;
    }
}

}  // namespace
