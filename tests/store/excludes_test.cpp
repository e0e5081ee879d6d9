// Exclude patterns under both systems' rules: what each form matches in a
// tree of nested names, and the reasons for patterns that cannot be used.
#include <cstring>
#include <cwchar>
#include <string>

#include "gtest/gtest.h"
#include "store/excludes.h"

namespace {

int Length(const char* text) { return static_cast<int>(std::strlen(text)); }
int Length(const wchar_t* text) { return static_cast<int>(std::wcslen(text)); }

template <typename Char>
struct MatchRow {
    const Char* pattern;
    const Char* path;
    bool folder;
    bool excluded;
};

template <typename Char>
void ExpectMatches(bool windowsRules, const MatchRow<Char>* rows, size_t count) {
    for (size_t i = 0; i < count; i++) {
        const MatchRow<Char>& row = rows[i];
        ExcludeSet set = {};
        set.windowsRules = windowsRules;
        const char* problem = CompileExcludePattern(row.pattern, Length(row.pattern), &set);
        ASSERT_EQ(problem, nullptr) << "row " << i << ": " << problem;
        EXPECT_EQ(MatchExcludeSet(set, row.path, Length(row.path), row.folder), row.excluded) << "row " << i;
    }
}

const bool Folder = true, File = false;

TEST(Excludes, PosixRules) {
    static const MatchRow<char> rows[] = {
        // a name at any depth, never a folder above the entry
        {"*.tmp", "d/e/a.tmp", File, true},
        {"*.tmp", ".tmp", File, true},
        {"*.tmp", "a.tmp.x", File, false},
        {"*.tmp", "d.tmp/x", File, false},
        {"build", "src/build", Folder, true},
        {"build", "rebuild", File, false},
        {"a**b", "axyb", File, true},
        {"a**b", "a/b", File, false},
        // folders only
        {"build/", "src/build", Folder, true},
        {"build/", "src/build", File, false},
        {"/a/b/", "a/b", Folder, true},
        {"/a/b/", "a/b", File, false},
        // one character, whole UTF-8 ones
        {"?.c", "a.c", File, true},
        {"?.c", "ab.c", File, false},
        {"?.c", "\xC3\xA9.c", File, true},
        {"?.c", "\xE2\x82\xAC.c", File, true},
        {"?.c", "\xFF.c", File, true},
        {"??.c", "\xE2\x82\xAC.c", File, false},
        {"*?\xAC", "\xE2\x82\xAC", File, false},
        // classes
        {"[abc]x", "bx", File, true},
        {"[!abc]x", "dx", File, true},
        {"[^a-c]x", "cx", File, false},
        {"[a-c]x", "cx", File, true},
        {"[]]x", "]x", File, true},
        {"[a-]x", "-x", File, true},
        {"[[:digit:]]*", "7up", File, true},
        {"[[:digit:]]*", "up", File, false},
        {"[[:upper:][:punct:]]", "!", File, true},
        {"[\xC3\xA0-\xC3\xBF]", "\xC3\xA9", File, true},
        {"[\xC3\xA9]", "\xC3\xA8", File, false},
        {"[!a]", "\xC3\xA9", File, true},
        // escapes and case
        {"\\*", "*", File, true},
        {"\\[x]", "[x]", File, true},
        {"\\\\", "\\", File, true},
        {"a\\?", "ab", File, false},
        {"A.txt", "a.txt", File, false},
        // paths below the target
        {"docs/*.md", "docs/a.md", File, true},
        {"docs/*.md", "x/docs/a.md", File, false},
        {"docs/*.md", "docs/sub/a.md", File, false},
        {"/top", "top", Folder, true},
        {"/top", "x/top", Folder, false},
        {"*/x", "d/x", File, true},
        {"*/x", "d/e/x", File, false},
        {"a/b", "a/b/c", File, false},
        {"a\\/b", "a/b", File, true},
        // ** at the start, in the middle, at the end
        {"**/cache", "cache", Folder, true},
        {"**/cache", "a/b/cache", Folder, true},
        {"**/cache", "a/bcache", Folder, false},
        {"logs/**", "logs", Folder, false},
        {"logs/**", "logs/a", File, true},
        {"logs/**", "logs/a/b", File, true},
        {"logs/**/**", "logs", Folder, false},
        {"a/**/b", "a/b", File, true},
        {"a/**/b", "a/x/y/b", File, true},
        {"a/**/b", "b", File, false},
        {"**/x/**/y", "p/x/q/y", File, true},
        {"src/**/*.o", "src/a.o", File, true},
        {"src/**/*.o", "src/d/e/a.o", File, true},
        {"a/**/", "a/d", Folder, true},
        {"a/**/", "a/f", File, false},
        {"/**", "anything/at/all", File, true},
    };
    ExpectMatches(false, rows, sizeof rows / sizeof rows[0]);
}

TEST(Excludes, WindowsRules) {
    static const MatchRow<wchar_t> rows[] = {
        {L"*.TMP", L"d\\A.tmp", File, true},
        {L"Build/", L"src\\BUILD", Folder, true},
        {L"docs/*.md", L"Docs\\a.MD", File, true},
        {L"docs\\*.md", L"docs\\a.md", File, true},
        {L"docs\\*.md", L"x\\docs\\a.md", File, false},
        {L"[A-C]x", L"bX", File, true},
        {L"[[:lower:]]", L"Q", File, true},
        {L"\xE9", L"\xC9", File, false},  // ASCII letters only
        {L"?.c", L"\xD83D\xDE00.c", File, true},
        {L"??.c", L"\xD83D\xDE00.c", File, false},
        {L"?.c", L"\xD800.c", File, true},
        {L"a\\*", L"a\\x", File, true},  // no escapes: \ separates
        {L"[[]x", L"[X", File, true},
        {L"**\\cache", L"a\\b\\cache", Folder, true},
    };
    ExpectMatches(true, rows, sizeof rows / sizeof rows[0]);
}

TEST(Excludes, BadPatternsAndTheirReasons) {
    struct Row {
        bool windowsRules;
        const char* pattern;
        const char* reason;  // its beginning
    } rows[] = {
        {false, "", "empty pattern"},
        {false, "/", "empty pattern"},
        {false, "//", "empty pattern"},
        {false, "[abc", "unclosed ["},
        {false, "[a/b]", "unclosed ["},
        {false, "[!]", "unclosed ["},
        {false, "a\\", "ends in a lone \\"},
        {false, "[z-a]", "range out of order"},
        {false, "[[:alfa:]]", "unknown class"},
        {false, "!keep", "a leading !"},
        {false, "a//b", "empty name"},
        {false, "./a", "'.' and '..'"},
        {false, "a/../b", "'.' and '..'"},
        {true, "a\\\\b", "empty name"},
    };
    for (const Row& row : rows) {
        ExcludeSet set = {};
        set.windowsRules = row.windowsRules;
        const char* problem = CompileExcludePattern(row.pattern, Length(row.pattern), &set);
        ASSERT_NE(problem, nullptr) << row.pattern;
        EXPECT_EQ(std::string(problem).rfind(row.reason, 0), 0u) << row.pattern << ": " << problem;
        EXPECT_TRUE(set.patterns.empty() && set.components.empty() && set.tokens.empty()) << row.pattern;
    }
    ExcludeSet set = {};
    EXPECT_EQ(CompileExcludePattern("\\!keep", 6, &set), nullptr);
    EXPECT_TRUE(MatchExcludeSet(set, "!keep", 5, false));
}

TEST(Excludes, PatternFiles) {
    // CR LF and LF, comments, blank lines, trailing blanks (kept when escaped).
    const char text[] = "\xEF\xBB\xBF*.o\r\n\n# build/\n   \nbuild/   \nname\\ \t\n#";
    ExcludeSet set = {};
    int badLine = 0;
    ASSERT_EQ(CompileExcludeText<char>(text, sizeof text - 1, &set, &badLine), nullptr);
    EXPECT_EQ(set.patterns.size(), 3u);
    EXPECT_TRUE(MatchExcludeSet(set, "x/a.o", 5, false));
    EXPECT_TRUE(MatchExcludeSet(set, "build", 5, true));
    EXPECT_FALSE(MatchExcludeSet(set, "build", 5, false));
    EXPECT_TRUE(MatchExcludeSet(set, "name ", 5, false));
    EXPECT_FALSE(MatchExcludeSet(set, "name", 4, false));

    // A bad line names itself and adds nothing, not even the lines before it.
    const char bad[] = "ok\n\n[oops\n";
    EXPECT_STREQ(CompileExcludeText<char>(bad, sizeof bad - 1, &set, &badLine), "unclosed [");
    EXPECT_EQ(badLine, 3);
    EXPECT_EQ(set.patterns.size(), 3u);
    EXPECT_FALSE(MatchExcludeSet(set, "ok", 2, false));

    // Under Windows rules the text is UTF-8 and every trailing blank goes.
    ExcludeSet windows = {};
    windows.windowsRules = true;
    const char wide[] = "caf\xC3\xA9.TXT  \r\n";
    ASSERT_EQ(CompileExcludeText<wchar_t>(wide, sizeof wide - 1, &windows, &badLine), nullptr);
    EXPECT_TRUE(MatchExcludeSet(windows, L"d\\Caf\xE9.txt", 10, false));
    const char invalid[] = "a\n\xC3(\n";
    EXPECT_STREQ(CompileExcludeText<wchar_t>(invalid, sizeof invalid - 1, &windows, &badLine), "not valid UTF-8");
    EXPECT_EQ(badLine, 2);
}

// Stars that would take exponential time to backtrack through, on a long
// name and a deep path: a fault here hangs the test.
TEST(Excludes, AdversarialStarsStayPolynomial) {
    std::string name(20000, 'a'), deep;
    for (int i = 0; i < 3000; i++) deep += "a/";
    deep += "b";
    ExcludeSet set = {};
    ASSERT_EQ(CompileExcludePattern("*a*a*a*a*a*a*a*a*a*a*c", 22, &set), nullptr);
    ASSERT_EQ(CompileExcludePattern("**/a/**/a/**/a/**/a/**/a/**/c", 29, &set), nullptr);
    EXPECT_FALSE(MatchExcludeSet(set, name.data(), static_cast<int>(name.size()), false));
    EXPECT_FALSE(MatchExcludeSet(set, deep.data(), static_cast<int>(deep.size()), false));
    deep.back() = 'c';
    EXPECT_TRUE(MatchExcludeSet(set, deep.data(), static_cast<int>(deep.size()), false));
}

// The run's set, under this system's rules.
TEST(Excludes, RunSet) {
    PathString problem;
    ClearExcludePatterns();
    EXPECT_FALSE(IsExcluded(PT("a.tmp"), 5, false));
    EXPECT_TRUE(AddExcludePattern(PT("*.tmp"), &problem));
    EXPECT_FALSE(AddExcludePattern(PT("[x"), &problem));
    EXPECT_EQ(problem, PT("unclosed ["));
    const char text[] = "cache/\nbad[\n";
    EXPECT_FALSE(AddExcludePatternsFromText(text, sizeof text - 1, &problem));
    EXPECT_EQ(problem, PT("line 2: unclosed ["));
    EXPECT_TRUE(IsExcluded(PT("a.tmp"), 5, false));
    EXPECT_FALSE(IsExcluded(PT("cache"), 5, true));
    ClearExcludePatterns();
    EXPECT_FALSE(IsExcluded(PT("a.tmp"), 5, false));
}

}  // namespace
