// Sizes computed from outside data (width × height, stride × rows, chunk lengths) go through
// here, so that an overflow is refused in one place instead of wrapping silently.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>

// a × b when it fits in `Limit`, else nothing. Negative factors are refused.
template <typename Limit = std::int32_t>
constexpr std::optional<Limit> checkedMultiply(std::int64_t a, std::int64_t b) {
  if (a < 0 || b < 0) return std::nullopt;
  if (a != 0 && b > static_cast<std::int64_t>(std::numeric_limits<Limit>::max()) / a) {
    return std::nullopt;
  }
  return static_cast<Limit>(a * b);
}

// a + b when it fits in `Limit`, else nothing. Negative terms are refused.
template <typename Limit = std::int32_t>
constexpr std::optional<Limit> checkedAdd(std::int64_t a, std::int64_t b) {
  if (a < 0 || b < 0) return std::nullopt;
  if (a > static_cast<std::int64_t>(std::numeric_limits<Limit>::max()) - b) return std::nullopt;
  return static_cast<Limit>(a + b);
}
