#include <gtest/gtest.h>

#include "host/RandomSource.h"

TEST(RandomSource, StartsAtTheSameValueEveryRun) {
    vantrel::host::RandomSource a;
    vantrel::host::RandomSource b;
    EXPECT_EQ(a.Next(), b.Next());
}
