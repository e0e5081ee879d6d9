// The main of every test program that has none of its own.
#include <gtest/gtest.h>

#include "test_outcome.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return ExitStatusForCtest(RUN_ALL_TESTS());
}
