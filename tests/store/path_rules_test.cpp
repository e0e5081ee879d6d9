// The path rules with the Windows prefix and suffix, on every system.
#include "gtest/gtest.h"
#include "store/path_rules.h"

namespace {

const wchar_t Prefix[] = L"\\\\?\\";

TEST(PathRules, WalkLayoutPrefixesAllButBackslashPaths) {
    wchar_t buffer[64];
    EXPECT_EQ(FormatWalkPath(L"C:\\dir\\f.txt", Prefix, 4, 60, buffer), 16);
    EXPECT_STREQ(buffer, L"\\\\?\\C:\\dir\\f.txt");
    EXPECT_EQ(FormatWalkPath(L"\\\\server\\share\\f.txt", Prefix, 4, 60, buffer), 20);
    EXPECT_STREQ(buffer, L"\\\\server\\share\\f.txt");
    EXPECT_EQ(FormatWalkPath(L"\\\\?\\C:\\x", Prefix, 4, 60, buffer), 8);
    EXPECT_STREQ(buffer, L"\\\\?\\C:\\x");
    // Too long for the limit: nothing to walk.
    EXPECT_EQ(FormatWalkPath(L"C:\\abcd", Prefix, 4, 10, buffer), -1);
    EXPECT_EQ(FormatWalkPath(L"C:\\abc", Prefix, 4, 10, buffer), 10);
}

TEST(PathRules, DisplayTextDropsOnlyALeadingPrefix) {
    EXPECT_STREQ(DisplayTextOf(L"\\\\?\\C:\\dir\\f.txt", Prefix, 4), L"C:\\dir\\f.txt");
    EXPECT_STREQ(DisplayTextOf(L"\\\\server\\share\\f.txt", Prefix, 4), L"\\\\server\\share\\f.txt");
    EXPECT_STREQ(DisplayTextOf(L"\\\\?", Prefix, 4), L"\\\\?");
    EXPECT_STREQ(DisplayTextOf("/home/f", "", 0), "/home/f");
}

TEST(PathRules, ListLayoutChoosesWhereThePathStarts) {
    wchar_t buffer[64] = L"\\\\?\\C:\\data\\a.bin";
    EXPECT_EQ(ListLayoutPath(buffer, 4), buffer);
    wchar_t unc[64] = L"\\\\?\\\\\\server\\share\\a.bin";
    EXPECT_EQ(ListLayoutPath(unc, 4), unc + 4);
    EXPECT_STREQ(ListLayoutPath(unc, 4), L"\\\\server\\share\\a.bin");
    char posix[16] = "/data/a";
    EXPECT_EQ(ListLayoutPath(posix, 0), posix);
}

}  // namespace
