// Seeding the target field: what of the process command line is left once the
// program name and the blanks after it are skipped.
#include "gtest/gtest.h"
#include "platform/shell.h"
#include "tests/ui/windows_split_model.h"
#include "ui/command_line.h"

namespace {

PathString Seed(const PathChar* commandLine) { return ArgumentsOfCommandLine(commandLine); }

TEST(CommandLineSeeding, ProgramNameOnlyGivesAnEmptyField) {
    EXPECT_EQ(Seed(PT("C:\\Tools\\Quorvane.exe")), PT(""));
    EXPECT_EQ(Seed(PT("\"C:\\Program Files\\Quorvane.exe\"")), PT(""));
    EXPECT_EQ(Seed(PT("Quorvane.exe ")), PT(""));
    EXPECT_EQ(Seed(PT("")), PT(""));
}

TEST(CommandLineSeeding, ArgumentsAreTakenExactlyQuotesIncluded) {
    EXPECT_EQ(Seed(PT("\"C:\\Program Files\\Quorvane.exe\" D:\\Data \"E:\\My Files\"")),
              PT("D:\\Data \"E:\\My Files\""));
}

TEST(CommandLineSeeding, OnlyTheBlanksBeforeTheFirstArgumentGo) {
    EXPECT_EQ(Seed(PT("Quorvane.exe   D:\\a  D:\\b  ")), PT("D:\\a  D:\\b  "));
}

TEST(CommandLineSeeding, TextGluedToTheClosingQuoteBelongsToTheProgram) {
    EXPECT_EQ(Seed(PT("\"C:\\Program Files\\Quorvane.exe\"x D:\\a")), PT("D:\\a"));
}

TEST(CommandLineSeeding, AnUnclosedQuoteSeedsNothing) {
    EXPECT_EQ(Seed(PT("\"C:\\Program Files\\Quorvane.exe D:\\a")), PT(""));
}

TEST(CommandLineSeeding, OnlyTheBlankSeparatesNotTheTab) {
    EXPECT_EQ(Seed(PT("Quorvane.exe\tD:\\a")), PT(""));
    EXPECT_EQ(Seed(PT("Quorvane.exe \tD:\\a")), PT("\tD:\\a"));
}

TEST(CommandLineSeeding, ALeadingBlankMeansAnEmptyProgramName) {
    EXPECT_EQ(Seed(PT("  Quorvane.exe D:\\a")), PT("Quorvane.exe D:\\a"));
}

// Explorer's verbs, with the folder in place of %V: the field they seed splits
// into that folder whole, also behind a path picked later.
TEST(CommandLineSeeding, TheVerbsSeedTheirFolderWhole) {
    const PathChar* rows[][2] = {{FolderVerbArguments, PT("C:\\My Data")},
                                 {FolderVerbArguments, PT("\\\\server\\share\\a b")},
                                 {DriveVerbArguments, PT("C:\\")}};
    for (const auto& row : rows) {
        PathString command = PT("\"C:\\Program Files\\Quorvane.exe\" ") + PathString(row[0]);
        PathString field = Seed(command.replace(command.find(PT("%V")), 2, row[1]).c_str());
        EXPECT_EQ(SplitByWindowsRules(field.c_str()), std::vector<PathString>({row[1]})) << field.size();
        EXPECT_EQ(SplitByWindowsRules((PT("D:\\x ") + field).c_str()), std::vector<PathString>({PT("D:\\x"), row[1]}));
    }
}

}  // namespace
