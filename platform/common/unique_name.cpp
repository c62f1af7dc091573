#include "platform/common/unique_name.h"

#include <atomic>

namespace platform {

std::string uniqueNameSuffix(std::uint64_t entropy, bool namesTellCasesApart) {
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t value = entropy ^ counter.fetch_add(1) * 0x9E3779B97F4A7C15u;
  value ^= value >> 29;
  value *= 0xBF58476D1CE4E5B9u;
  value ^= value >> 32;
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const std::uint64_t base = namesTellCasesApart ? 62 : 36;
  std::string suffix;
  for (int i = 0; i < 6; ++i, value /= base) suffix += kLetters[value % base];
  return suffix;
}

}  // namespace platform
