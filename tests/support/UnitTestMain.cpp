// main() for the unit tests: Google Test's own, ended the way every test program ends.
#include "support/TestRunEnd.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return larkspan::test::EndTestRun(RUN_ALL_TESTS());
}
