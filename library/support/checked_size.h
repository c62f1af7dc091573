// Sizes computed from outside data (width × height, stride × rows, chunk lengths) go through
// here, so that an overflow is refused in one place instead of wrapping silently.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>

namespace checked_size_detail {

// The largest value of `Limit` that an int64 can also hold.
template <typename Limit>
constexpr std::int64_t ceiling() {
  constexpr auto limit = static_cast<std::uint64_t>(std::numeric_limits<Limit>::max());
  constexpr auto wide = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  return static_cast<std::int64_t>(limit < wide ? limit : wide);
}

}  // namespace checked_size_detail

// a × b when it fits in `Limit`, else nothing. Negative factors are refused.
template <typename Limit = std::int32_t>
constexpr std::optional<Limit> checkedMultiply(std::int64_t a, std::int64_t b) {
  if (a < 0 || b < 0) return std::nullopt;
  if (a != 0 && b > checked_size_detail::ceiling<Limit>() / a) return std::nullopt;
  return static_cast<Limit>(a * b);
}

// a + b when it fits in `Limit`, else nothing. Negative terms are refused.
template <typename Limit = std::int32_t>
constexpr std::optional<Limit> checkedAdd(std::int64_t a, std::int64_t b) {
  if (a < 0 || b < 0) return std::nullopt;
  if (a > checked_size_detail::ceiling<Limit>() - b) return std::nullopt;
  return static_cast<Limit>(a + b);
}
