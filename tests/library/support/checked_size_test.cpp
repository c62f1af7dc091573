#include "library/support/checked_size.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace {

// The limits of every result type, including those wider than the int64 arithmetic.
TEST(CheckedSize, RefusesWhatDoesNotFit) {
  EXPECT_EQ(checkedMultiply(65536, 32767), std::optional<std::int32_t>(2147418112));
  EXPECT_EQ(checkedMultiply(65536, 32768), std::nullopt);
  EXPECT_EQ(checkedMultiply(-1, 5), std::nullopt);
  EXPECT_EQ(checkedMultiply(0, 1LL << 40), std::optional<std::int32_t>(0));
  EXPECT_EQ(checkedMultiply<std::uint32_t>(65536, 65535),
            std::optional<std::uint32_t>(0xFFFF0000u));
  EXPECT_EQ(checkedMultiply<std::uint32_t>(65536, 65536), std::nullopt);
  EXPECT_EQ(checkedMultiply<std::size_t>(1LL << 31, 4), std::optional<std::size_t>(1ULL << 33));
  EXPECT_EQ(checkedMultiply<std::size_t>(1LL << 32, 1LL << 32), std::nullopt);
  EXPECT_EQ(checkedMultiply<std::int64_t>(1LL << 62, 2), std::nullopt);

  EXPECT_EQ(checkedAdd(2147483646, 1), std::optional<std::int32_t>(2147483647));
  EXPECT_EQ(checkedAdd(2147483647, 1), std::nullopt);
  EXPECT_EQ(checkedAdd(3, -1), std::nullopt);
  EXPECT_EQ(checkedAdd<std::size_t>(1LL << 40, 1), std::optional<std::size_t>((1ULL << 40) + 1));
}

}  // namespace
