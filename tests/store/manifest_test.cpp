// Manifest lines as other tools write them and as export writes them, and
// the paths they name against a base folder.
#include <cstring>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "store/code_points.h"
#include "store/manifest.h"

namespace {

// The digest of "abc".
#define H                                                                  \
    "4e2448a4c6f486bb16b6562c73b4020bf3043e3a731bce721ae1b303d97e6d4c7181eebd" \
    "b6c57e277d0e34957114cbd6c797fc9d95d8b582d225292076d4eef5"
#define HASHDEEP "%%%% HASHDEEP-1.0\r\n%%%% size,whirlpool,filename\r\n## Invoked from: /d\r\n##\r\n"

struct LineRow {
    const char* what;
    const char* text;  // a whole manifest
    ManifestError error;
    int line;           // of the error, or of the entry checked (the last)
    const char* path;   // UTF-8, unescaped
    int64_t size;
};

const LineRow LineRows[] = {
    {"plain", H "  d/a.txt\n", ManifestFine, 1, "d/a.txt", -1},
    {"sha*sum's binary marker", H " *d/a.txt", ManifestFine, 1, "d/a.txt", -1},
    {"upper-case hex, blanks in the name", "4E2448A4C6F486BB16B6562C73B4020BF3043E3A731BCE721AE1B303D97E6D4C7181EEBD"
     "B6C57E277D0E34957114CBD6C797FC9D95D8B582D225292076D4EEF5  a  b ", ManifestFine, 1, "a  b ", -1},
    {"escaped", "\\" H "  a\\nb\\\\c\\x01\\td\n", ManifestFine, 1, "a\nb\\c\x01\td", -1},
    {"BOM and CR LF, comments, blank lines", "\xEF\xBB\xBF# by hand\r\n\r\n; sfv-like\r\n" H "  caf\xC3\xA9\r\n",
     ManifestFine, 4, "caf\xC3\xA9", -1},
    {"BSD, a name holding ') = '", "WHIRLPOOL (p) = q) = " H "\n", ManifestFine, 1, "p) = q", -1},
    {"BSD escaped, other case", "\\Whirlpool (a\\tb) = " H "\r\n", ManifestFine, 1, "a\tb", -1},
    {"hashdeep, a name with commas", HASHDEEP "3," H ",/d/a,b\r\n", ManifestFine, 5, "/d/a,b", 3},
    {"hashdeep with more hashes", "%%%% HASHDEEP-1.0\n%%%% size,md5,whirlpool,filename\n12,0123," H ",f\n",
     ManifestFine, 3, "f", 12},
    {"a name that is no UTF-8", H "  caf\xE9", ManifestFine, 1, "caf\xE9", -1},
    {"too short a digest", "4e2448a4  x\n", ManifestNoDigest, 1, nullptr, 0},
    {"too long a digest", H "0  x\n", ManifestNoDigest, 1, nullptr, 0},
    {"one blank", H " x\n", ManifestNoPath, 1, nullptr, 0},
    {"no path", H "  \n", ManifestNoPath, 1, nullptr, 0},
    {"a bad line after a good one", H "  a\r\nzz  b\r\n", ManifestNoDigest, 2, nullptr, 0},
    {"an unknown escape", "\\" H "  a\\qb\n", ManifestBadEscape, 1, nullptr, 0},
    {"BSD of another algorithm", "WHIRLPOOL (a) = " H "\nSHA256 (b) = 00\n", ManifestOtherHash, 2, nullptr, 0},
    {"BSD, digest cut", "WHIRLPOOL (a) = 4e2448\n", ManifestNoDigest, 1, nullptr, 0},
    {"hashdeep without whirlpool", "%%%% HASHDEEP-1.0\n%%%% size,md5,filename\n3,00,x\n", ManifestNoColumn, 3,
     nullptr, 0},
    {"hashdeep, size no number", HASHDEEP "3k," H ",f\n", ManifestBadSize, 5, nullptr, 0},
    {"hashdeep, a field short", HASHDEEP "3\n", ManifestNoPath, 5, nullptr, 0},
};

template <typename Char>
void CheckLines() {
    for (const LineRow& row : LineRows) {
        std::vector<ManifestEntry<Char>> entries;
        ManifestProblem problem = {};
        bool parsed = ParseManifest(row.text, std::strlen(row.text), &entries, &problem);
        std::basic_string<Char> path;
        // A name that is no UTF-8 cannot become UTF-16.
        bool wide = !row.path || AppendUtf8AsUnits(row.path, row.path + std::strlen(row.path), &path);
        ManifestError error = wide ? row.error : ManifestBadText;
        ASSERT_EQ(parsed, error == ManifestFine) << row.what;
        if (!parsed) {
            EXPECT_EQ(problem.error, error) << row.what;
            EXPECT_EQ(problem.line, row.line) << row.what;
            continue;
        }
        ASSERT_FALSE(entries.empty()) << row.what;
        EXPECT_TRUE(entries.back().path == path) << row.what;
        EXPECT_EQ(entries.back().size, row.size) << row.what;
        EXPECT_EQ(entries.back().line, row.line) << row.what;
        EXPECT_EQ(entries.back().digest[0], 0x4e) << row.what;
        EXPECT_EQ(entries.back().digest[63], 0xf5) << row.what;
    }
}

TEST(Manifest, LinesOfEveryFormat) {
    CheckLines<char>();
    CheckLines<wchar_t>();
}

// Each line export writes reads back as the same file.
TEST(Manifest, WrittenLinesReadBack) {
    struct Row {
        ManifestFormat format;
        const char* path;
        const char* line;  // empty: the name has no place in the format
    } rows[] = {
        {ManifestPlain, "d/a b", H "  d/a b\n"},
        {ManifestPlain, "a\nb\\\x7f", "\\" H "  a\\nb\\\\\\x7f\n"},
        {ManifestBsd, "x", "WHIRLPOOL (x) = " H "\n"},
        {ManifestBsd, "t\tx", "\\WHIRLPOOL (t\\tx) = " H "\n"},
        {ManifestPlain, " *x", H "  ./ *x\n"},
        {ManifestHashdeep, "a,b\\c", "7," H ",a,b\\c\n"},
        {ManifestHashdeep, "a\nb", ""},
    };
    uint8_t digest[64];
    for (int i = 0; i < 64; ++i) digest[i] = static_cast<uint8_t>(std::stoi(std::string(H).substr(2 * i, 2), 0, 16));
    for (const auto& row : rows) {
        std::string line;
        int length = static_cast<int>(std::strlen(row.path));
        bool written = AppendManifestLine(row.format, digest, 7, row.path, length, &line);
        EXPECT_EQ(line, row.line) << row.path;
        if (!written) continue;
        std::vector<ManifestEntry<char>> entries;
        ManifestProblem problem;
        std::string text = ManifestHeader(row.format) + line;
        ASSERT_TRUE(ParseManifest(text.data(), text.size(), &entries, &problem)) << row.line;
        EXPECT_EQ(ResolveManifestPath(std::string("/"), entries.at(0).path, false), std::string("/") + row.path);
        EXPECT_EQ(std::memcmp(entries[0].digest, digest, 64), 0);
    }
    // A lone surrogate has no UTF-8.
    std::wstring line;
    const wchar_t lone[] = {L'a', 0xD800, L'b'};
    EXPECT_FALSE(AppendManifestLine(ManifestPlain, digest, 7, lone, 3, &line));
}

TEST(Manifest, PathsAgainstTheBase) {
    struct Row {
        const char* base;
        const char* path;
        bool windows;
        const char* resolved;
        const char* relative;  // of resolved against base
    } rows[] = {
        {"/b", "d/./x/../y", false, "/b/d/y", "d/y"},
        {"/b/c", "/abs//x/", false, "/abs/x", "../../abs/x"},
        {"/", "x", false, "/x", "x"},
        {"/b", "../../../x", false, "/x", "../x"},
        {"/b", "a\\b", false, "/b/a\\b", "a\\b"},
        {"C:\\b", "d/x\\y", true, "C:\\b\\d\\x\\y", "d/x/y"},
        {"C:\\b", "D:/x", true, "D:\\x", "D:/x"},
        {"C:\\b", "\\x", true, "C:\\x", "../x"},
        {"C:\\b", "\\\\srv\\sh\\x", true, "\\\\srv\\sh\\x", "//srv/sh/x"},
    };
    for (const auto& row : rows) {
        std::string resolved = ResolveManifestPath(std::string(row.base), std::string(row.path), row.windows);
        EXPECT_EQ(resolved, row.resolved) << row.path;
        EXPECT_EQ(RelativeManifestPath(std::string(row.base), resolved, row.windows), row.relative) << row.path;
    }
    // A name that says another algorithm: its 128 hex digits are no Whirlpool.
    for (const char* other : {"x.sha512", "d/SHA512SUMS", "C:\\d\\x.Sha512Sum", "x.b2", "MD5SUMS"}) {
        EXPECT_TRUE(NameSaysOtherHash(std::string(other))) << other;
    }
    for (const char* whirlpool : {"x.whirlpool", "sums", "sha512.d/x.whirlpool", "audit.txt", "-", "sha512"}) {
        EXPECT_FALSE(NameSaysOtherHash(std::string(whirlpool))) << whirlpool;
    }
}

}  // namespace
