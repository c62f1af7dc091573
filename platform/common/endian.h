// Byte order of the fields that the library and the cabinet writer module put in files: the
// formats' own little-endian fields, and the reversal for a big-endian one. The same on every
// system: the bytes are placed one by one, never through the machine's own order.
#pragma once

#include <cstdint>

namespace byte_order {

// The value's low 16 bits at `at`, least significant byte first.
constexpr void put16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

// The value's 4 bytes at `at`, least significant first.
constexpr void put32(std::uint8_t* at, std::uint32_t value) {
  put16(at, value);
  put16(at + 2, value >> 16);
}

}  // namespace byte_order

// The value with its 4 bytes in reverse order: put32 of it places the most significant byte
// first.
constexpr std::uint32_t swapBytes32(std::uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) |
         (value << 24);
}
