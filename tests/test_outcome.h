// The exit status that tells ctest what a test program's run amounted to:
// 1 when a case failed or none ran, 77 (skipped) when every case that ran was
// skipped, each reason printed as "skipped: REASON". A run that mixes passed
// and skipped cases fails: counted as passed it would hide the skips, counted
// as skipped it would hide the passes, so such cases get a ctest entry of
// their own (a --gtest_filter) instead.
#pragma once

#include <cstdio>
#include <set>
#include <string>

#include <gtest/gtest.h>

inline int ExitStatusForCtest(int runResult) {
    if (GTEST_FLAG_GET(list_tests)) return runResult;
    const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
    if (runResult != 0 || unit.failed_test_count() != 0) return 1;
    int skipped = unit.skipped_test_count();
    int passed = unit.successful_test_count();
    if (skipped + passed == 0) {
        std::printf("no test case ran: the filter matches none\n");
        return 1;
    }
    if (skipped == 0) return 0;
    std::set<std::string> reasons;
    std::string names;
    for (int i = 0; i < unit.total_test_suite_count(); ++i) {
        const testing::TestSuite& suite = *unit.GetTestSuite(i);
        for (int j = 0; j < suite.total_test_count(); ++j) {
            const testing::TestInfo& info = *suite.GetTestInfo(j);
            if (!info.should_run() || !info.result()->Skipped()) continue;
            names += std::string(names.empty() ? "" : ", ") + info.test_suite_name() + "." + info.name();
            for (int k = 0; k < info.result()->total_part_count(); ++k) {
                const testing::TestPartResult& part = info.result()->GetTestPartResult(k);
                if (!part.skipped()) continue;
                std::string reason = part.message();
                for (char& c : reason) {
                    if (c == '\n' || c == '\r') c = ' ';
                }
                reasons.insert(reason.empty() ? "no reason given" : reason);
            }
        }
    }
    if (passed != 0) {
        std::printf("%d case(s) skipped beside %d passed (%s): give them a ctest entry of their own\n", skipped,
                    passed, names.c_str());
        return 1;
    }
    for (const std::string& reason : reasons) std::printf("skipped: %s\n", reason.c_str());
    return 77;
}
