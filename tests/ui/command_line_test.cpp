// Seeding the target field: what of the process command line is left once the
// program name and the blanks after it are skipped.
#include "gtest/gtest.h"
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

}  // namespace
