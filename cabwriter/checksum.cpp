// The cabinet checksum. XOR is order-free within aligned words, so eight bytes are folded at a
// time and the two halves combined at the end.
#include <cstring>

#include "cabwriter/cab_format.h"

namespace cab {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "words are loaded in host order");

std::uint32_t checksum(const std::uint8_t* data, std::size_t size, std::uint32_t seed) {
  std::uint64_t wide = 0;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, data + i, sizeof word);
    wide ^= word;
  }
  std::uint32_t sum = seed ^ static_cast<std::uint32_t>(wide) ^ static_cast<std::uint32_t>(wide >> 32);
  if (i + 4 <= size) {
    std::uint32_t word;
    std::memcpy(&word, data + i, sizeof word);
    sum ^= word;
    i += 4;
  }
  std::uint32_t tail = 0;
  for (; i < size; ++i) tail = (tail << 8) | data[i];
  return sum ^ tail;
}

}  // namespace cab
