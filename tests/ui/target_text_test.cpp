// The target field's text from a picked path or dropped paths: quoting, the
// order against the current text, and the growth of TargetText.
#include <vector>

#include "gtest/gtest.h"
#include "tests/ui/windows_split_model.h"
#include "ui/target_text.h"

namespace {

class TargetTextTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(AllocateTargetText()); }
    void TearDown() override {
        std::free(TargetText);
        TargetText = nullptr;
        TargetCapacity = 0;
    }

    static void Put(const PathChar* text) {
        int i = 0;
        for (; text[i]; ++i) TargetText[i] = text[i];
        TargetText[i] = 0;
    }

    PathString Drop(std::vector<const PathChar*> paths, const PathChar* field, bool edited) {
        EXPECT_TRUE(ComposeDroppedTargets(paths.data(), static_cast<int>(paths.size()), field, edited));
        return TargetText;
    }

    PathString Pick(const PathChar* picked, const PathChar* field, bool edited) {
        Put(picked);
        int n = 0;
        while (field[n]) ++n;
        EXPECT_TRUE(ComposePickedTarget(field, n, edited));
        return TargetText;
    }
};

PathString Quoted(const PathChar* text) {
    PathChar buffer[64];
    int i = 0;
    for (; text[i]; ++i) buffer[i] = text[i];
    buffer[i] = 0;
    QuotePath(buffer);
    return buffer;
}

TEST(QuotePath, OnlyABlankCausesQuoting) {
    EXPECT_EQ(Quoted(PT("C:\\")), PT("C:\\"));
    EXPECT_EQ(Quoted(PT("C:\\My Data")), PT("\"C:\\My Data\""));
    EXPECT_EQ(Quoted(PT("C:\\tab\there")), PT("C:\\tab\there"));
    // Quotes already there are not looked at.
    EXPECT_EQ(Quoted(PT("\"a b\"")), PT("\"\"a b\"\""));
    EXPECT_EQ(Quoted(PT(" ")), PT("\" \""));
    EXPECT_EQ(Quoted(PT("")), PT(""));
    // Backslashes before the closing quote are doubled, or the splitter would
    // take the quote for an escaped one.
    EXPECT_EQ(Quoted(PT("C:\\My Data\\")), PT("\"C:\\My Data\\\\\""));
    EXPECT_EQ(Quoted(PT("\\\\s\\a b\\\\")), PT("\"\\\\s\\a b\\\\\\\\\""));
    EXPECT_EQ(Quoted(PT("C:\\a\\")), PT("C:\\a\\"));
}

TEST(QuotePath, QuotedLengthIsTheRoomItTakes) {
    for (const PathChar* text : {PT("C:\\"), PT("a b"), PT("C:\\My Data\\\\"), PT("")}) {
        EXPECT_EQ(QuotedLength(text), static_cast<int64_t>(Quoted(text).size()));
    }
}

TEST_F(TargetTextTest, TwoDroppedPathsOntoAnEmptyField) {
    EXPECT_EQ(Drop({PT("C:\\a.txt"), PT("C:\\My Data\\b.txt")}, PT(""), true),
              PT("C:\\a.txt \"C:\\My Data\\b.txt\""));
}

TEST_F(TargetTextTest, EditedTargetsKeepTheirTextBehindNewPaths) {
    // Also the state right after start-up with a command line.
    EXPECT_EQ(Drop({PT("C:\\a.txt"), PT("C:\\My Data\\b.txt")}, PT("D:\\old \"E:\\x y\""), true),
              PT("C:\\a.txt \"C:\\My Data\\b.txt\" D:\\old \"E:\\x y\""));
    EXPECT_EQ(Pick(PT("C:\\My Data"), PT("D:\\old"), true), PT("\"C:\\My Data\" D:\\old"));
    EXPECT_EQ(Pick(PT("C:\\"), PT("D:\\old"), true), PT("C:\\ D:\\old"));
}

TEST_F(TargetTextTest, AfterARunStartedNewPathsReplaceTheText) {
    EXPECT_EQ(Drop({PT("C:\\a.txt")}, PT("D:\\old"), false), PT("C:\\a.txt"));
    EXPECT_EQ(Pick(PT("C:\\My Data"), PT("D:\\old"), false), PT("\"C:\\My Data\""));
    // The field's change then sets TargetsEdited again: the next drop goes in front.
    EXPECT_EQ(Drop({PT("C:\\b")}, PT("C:\\a.txt"), true), PT("C:\\b C:\\a.txt"));
}

TEST_F(TargetTextTest, PickOntoAnEmptyFieldIsThePathAlone) {
    EXPECT_EQ(Pick(PT("C:\\My Data"), PT(""), true), PT("\"C:\\My Data\""));
}

TEST_F(TargetTextTest, DroppedPathsComeBackWholeFromTheSplitter) {
    // A path with a blank that ends in a backslash, anywhere but first, used to
    // swallow the rest of the field.
    PathString text = Drop({PT("C:\\a"), PT("C:\\My Data\\"), PT("\\\\s\\b c\\\\"), PT("E:\\")},
                           PT("D:\\x \"F:\\y z\\\\\""), true);
    EXPECT_EQ(SplitByWindowsRules(text.c_str()),
              std::vector<PathString>({PT("C:\\a"), PT("C:\\My Data\\"), PT("\\\\s\\b c\\\\"), PT("E:\\"),
                                       PT("D:\\x"), PT("F:\\y z\\")}));
}

TEST_F(TargetTextTest, EditedButEmptyFieldLeavesNoTrailingBlank) {
    EXPECT_EQ(Drop({PT("C:\\a"), PT("C:\\b")}, PT(""), true), PT("C:\\a C:\\b"));
}

TEST_F(TargetTextTest, ADropWithoutPathsChangesNothing) {
    Put(PT("kept"));
    const PathChar* none[1] = {nullptr};
    EXPECT_FALSE(ComposeDroppedTargets(none, 0, PT(""), false));
    EXPECT_EQ(PathString(TargetText), PT("kept"));
}

TEST_F(TargetTextTest, GrowsByTheCommonRuleAndKeepsTheText) {
    EXPECT_EQ(TargetCapacity, 65536);
    Put(PT("abc"));
    GrowTargetText(65535);
    EXPECT_EQ(TargetCapacity, 65536);
    GrowTargetText(65536);
    EXPECT_EQ(TargetCapacity, 65536 + 65536);
    EXPECT_EQ(PathString(TargetText), PT("abc"));
}

TEST_F(TargetTextTest, LongFieldAndDropFitAfterGrowth) {
    PathString field(70000, PathChar('f'));
    PathString path(1000, PathChar('p'));
    path[500] = PathChar(' ');
    PathString result = Drop({path.c_str(), path.c_str()}, field.c_str(), true);
    PathString quoted = PT("\"") + path + PT("\"");
    EXPECT_EQ(result, quoted + PT(" ") + quoted + PT(" ") + field);
    // need = 70000 + 2 * (1000 + 3), grown to need + 65536.
    EXPECT_EQ(TargetCapacity, 70000 + 2 * 1003 + 65536);
}

TEST_F(TargetTextTest, LongPickedTextFitsAfterGrowth) {
    PathString field(65600, PathChar('f'));
    EXPECT_EQ(Pick(PT("C:\\x"), field.c_str(), true), PT("C:\\x ") + field);
    EXPECT_EQ(TargetCapacity, 4 + 1 + 65600 + 65536);
}

// A composition that does not fit (beyond the longest text an int capacity
// holds, or the heap refused) changes nothing and says so; sums near 2^31
// units must not wrap. One long path dropped many times makes the size
// without the memory.
TEST_F(TargetTextTest, ACompositionThatDoesNotFitLeavesTheTextAsItWas) {
    Put(PT("kept"));
    EXPECT_FALSE(GrowTargetText(MaxTargetTextLength + int64_t(1)));
    EXPECT_FALSE(GrowTargetText(INT64_MAX));
    EXPECT_EQ(TargetCapacity, 65536);

    PathString path(1 << 20, PathChar('p'));
    std::vector<const PathChar*> paths(2048, path.c_str());
    EXPECT_FALSE(ComposeDroppedTargets(paths.data(), static_cast<int>(paths.size()), PT("D:\\old"), true));
    EXPECT_EQ(PathString(TargetText), PT("kept"));
    EXPECT_EQ(TargetCapacity, 65536);
}

// Start-up could not allocate TargetText: the next composition allocates it,
// and one that cannot writes nowhere.
TEST_F(TargetTextTest, AMissingBufferIsNeverWrittenThrough) {
    std::free(TargetText);
    TargetText = nullptr;
    TargetCapacity = 0;
    EXPECT_FALSE(ComposePickedTarget(PT("D:\\old"), 6, true));
    PathString path(1 << 20, PathChar('p'));
    std::vector<const PathChar*> paths(2048, path.c_str());
    EXPECT_FALSE(ComposeDroppedTargets(paths.data(), static_cast<int>(paths.size()), PT(""), false));
    EXPECT_EQ(TargetText, nullptr);

    EXPECT_EQ(Drop({PT("C:\\a")}, PT("D:\\old"), true), PT("C:\\a D:\\old"));
    EXPECT_EQ(TargetCapacity, 65536 + 4 + 2 + 6 + 1);
}

}  // namespace
