#include <gtest/gtest.h>

#include "engine/whirlpool.h"
#include "test_support.h"
#include "tests/test_outcome.h"

// As at start-up: the tables and the routine choice before anything else.
int main(int argc, char** argv) {
    BuildWhirlpoolTables();
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    RemoveTestFiles();
    return ExitStatusForCtest(result);
}
