// The model of the window's splitter on the inputs where its rules bite:
// blanks in quotes, backslash runs before quotes, trailing backslashes, empty
// quoted arguments, runs of quotes and the program-name rule of the first
// argument. On Windows each row is also split by CommandLineToArgvW itself.
#include <vector>

#include "gtest/gtest.h"
#include "tests/ui/windows_split_model.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

struct SplitCase {
    const PathChar* text;
    std::vector<PathString> args;
};

const SplitCase SplitCases[] = {
    {PT("a b"), {PT("a"), PT("b")}},
    {PT("\"a b\" c"), {PT("a b"), PT("c")}},
    // First argument: up to the next quote, backslashes and all.
    {PT("\"C:\\My Data\\\" D:\\x"), {PT("C:\\My Data\\"), PT("D:\\x")}},
    {PT("\"C:\\My Data\\\\\" D:\\x"), {PT("C:\\My Data\\\\"), PT("D:\\x")}},
    {PT("\"a\"b c"), {PT("a"), PT("b"), PT("c")}},
    {PT("\"a b"), {PT("a b")}},
    {PT("\"\" x"), {PT(""), PT("x")}},
    {PT("  a b"), {PT(""), PT("a"), PT("b")}},
    {PT("a\tb"), {PT("a"), PT("b")}},
    {PT("a\\\"b c"), {PT("a\\\"b"), PT("c")}},
    // Later arguments: one backslash before the closing quote escapes it.
    {PT("x \"C:\\My Data\\\" D:\\x"), {PT("x"), PT("C:\\My Data\" D:\\x")}},
    {PT("x \"C:\\My Data\\\\\" D:\\x"), {PT("x"), PT("C:\\My Data\\"), PT("D:\\x")}},
    {PT("x \"C:\\a\\\\\\\\\" y"), {PT("x"), PT("C:\\a\\\\"), PT("y")}},
    {PT("x C:\\a\\ D:\\"), {PT("x"), PT("C:\\a\\"), PT("D:\\")}},
    {PT("x a\\\\b"), {PT("x"), PT("a\\\\b")}},
    {PT("x a\\\\\\\"b"), {PT("x"), PT("a\\\"b")}},
    {PT("x a\\\\\\\\\"b c\""), {PT("x"), PT("a\\\\b c")}},
    {PT("x \\\"a"), {PT("x"), PT("\"a")}},
    {PT("x \\\\\"a b\""), {PT("x"), PT("\\a b")}},
    {PT("x \"\" \"\""), {PT("x"), PT(""), PT("")}},
    {PT("x a\"b\"c"), {PT("x"), PT("abc")}},
    {PT("x \"a b"), {PT("x"), PT("a b")}},
    {PT("x \"a\"\"b\" c"), {PT("x"), PT("a\"b c")}},
    {PT("x \"\"\"a\"\"\" b"), {PT("x"), PT("\"a\""), PT("b")}},
    {PT("x \"\"\"\" b"), {PT("x"), PT("\" b")}},
    {PT("x a\tb  \t c "), {PT("x"), PT("a"), PT("b"), PT("c")}},
    {PT("x a\nb"), {PT("x"), PT("a\nb")}},
};

TEST(WindowsSplitModel, TrickyInputs) {
    for (const SplitCase& row : SplitCases) {
        EXPECT_EQ(SplitByWindowsRules(row.text), row.args) << testing::PrintToString(PathString(row.text));
#ifdef _WIN32
        int count = 0;
        LPWSTR* real = CommandLineToArgvW(row.text, &count);
        ASSERT_NE(real, nullptr);
        std::vector<PathString> realArgs(real, real + count);
        LocalFree(real);
        EXPECT_EQ(realArgs, row.args) << "CommandLineToArgvW on " << testing::PrintToString(PathString(row.text));
#endif
    }
}

}  // namespace
