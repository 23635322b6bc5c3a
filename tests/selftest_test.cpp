// The self-test: the same answer on every call, and an empty error text after a pass.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

TEST(Selftest, PassesEveryTimeAndEmptiesAPriorMessage) {
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    vltest::leave_message();
    EXPECT_EQ(vlauth_selftest(), 0);
    EXPECT_EQ(vltest::last_error(), "");
  }
}

}  // namespace
