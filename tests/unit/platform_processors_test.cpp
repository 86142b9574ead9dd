// The processor count follows the affinity mask the engine was started with.
#include <gtest/gtest.h>

#include <sched.h>

#include "platform/processors.h"

namespace {

TEST(Processors, CountFollowsTheAffinityMask) {
    cpu_set_t original;
    ASSERT_EQ(sched_getaffinity(0, sizeof original, &original), 0);
    EXPECT_EQ(usableProcessors(), CPU_COUNT(&original));

    int first = 0;
    while (!CPU_ISSET(first, &original)) first++;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    EXPECT_EQ(usableProcessors(), 1);
    ASSERT_EQ(sched_setaffinity(0, sizeof original, &original), 0);
}

}  // namespace
