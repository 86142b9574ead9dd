// Entry point of the unit-test programs: builds the engine's tables once, as
// start-up does, then runs the tests.
#include <gtest/gtest.h>

#include "support/engine_fixture.h"

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    initEngineForTests();
    return RUN_ALL_TESTS();
}
