#include "library/support/checked_size.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

// size_t is 32 bits wide on 32-bit Windows: the same sums and products fit there or not by that
// width. Where it is 64 bits, the int64 arithmetic is the limit.
constexpr bool kWideSize = sizeof(std::size_t) > 4;
constexpr std::int64_t kLargestSize =
    kWideSize ? std::numeric_limits<std::int64_t>::max() : std::int64_t{0xFFFFFFFF};

// The limits of every result type, including those wider than the int64 arithmetic.
TEST(CheckedSize, RefusesWhatDoesNotFit) {
  EXPECT_EQ(checkedMultiply(65536, 32767), std::optional<std::int32_t>(2147418112));
  EXPECT_EQ(checkedMultiply(65536, 32768), std::nullopt);
  EXPECT_EQ(checkedMultiply(-1, 5), std::nullopt);
  EXPECT_EQ(checkedMultiply(0, 1LL << 40), std::optional<std::int32_t>(0));
  EXPECT_EQ(checkedMultiply<std::uint32_t>(65536, 65535),
            std::optional<std::uint32_t>(0xFFFF0000u));
  EXPECT_EQ(checkedMultiply<std::uint32_t>(65536, 65536), std::nullopt);
  EXPECT_EQ(checkedMultiply<std::size_t>(65536, 65535), std::optional<std::size_t>(0xFFFF0000u));
  EXPECT_EQ(checkedMultiply<std::size_t>(65536, 65536).has_value(), kWideSize);
  EXPECT_EQ(checkedMultiply<std::size_t>(1LL << 32, 1LL << 32), std::nullopt);
  std::optional<std::size_t> eightGiB = checkedMultiply<std::size_t>(1LL << 31, 4);
  EXPECT_EQ(eightGiB.has_value(), kWideSize);
  EXPECT_EQ(std::uint64_t{eightGiB.value_or(0)}, kWideSize ? 1ULL << 33 : 0);
  EXPECT_EQ(checkedMultiply<std::int64_t>(1LL << 62, 2), std::nullopt);

  EXPECT_EQ(checkedAdd(2147483646, 1), std::optional<std::int32_t>(2147483647));
  EXPECT_EQ(checkedAdd(2147483647, 1), std::nullopt);
  EXPECT_EQ(checkedAdd(3, -1), std::nullopt);
  EXPECT_EQ(checkedAdd<std::size_t>(kLargestSize - 1, 1),
            std::optional<std::size_t>(static_cast<std::size_t>(kLargestSize)));
  EXPECT_EQ(checkedAdd<std::size_t>(kLargestSize, 1), std::nullopt);
  std::optional<std::size_t> past4GiB = checkedAdd<std::size_t>(1LL << 40, 1);
  EXPECT_EQ(past4GiB.has_value(), kWideSize);
  EXPECT_EQ(std::uint64_t{past4GiB.value_or(0)}, kWideSize ? (1ULL << 40) + 1 : 0);
}

}  // namespace
