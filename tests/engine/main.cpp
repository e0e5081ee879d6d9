#include <gtest/gtest.h>

#include "engine/whirlpool.h"

// As at start-up: the tables and the routine choice before anything else.
int main(int argc, char** argv) {
    BuildWhirlpoolTables();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
