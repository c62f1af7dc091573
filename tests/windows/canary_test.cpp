// A test that must fail. scripts/test-windows.sh runs it first and goes on only when it does fail
// under Wine: a Wine that cannot run the program (an i686 program without Wine's 32-bit part)
// exits 0 without running anything, which would make every later suite pass unseen.
#include <gtest/gtest.h>

TEST(Canary, MustFail) { EXPECT_EQ(1 + 1, 3) << "the canary fails on purpose"; }
