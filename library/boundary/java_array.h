// Java arrays as the library reads them: a header of 4 reserved bytes and a 32-bit element count,
// followed by the elements (32-bit integers, or string handles).
#pragma once

#include <cstddef>
#include <cstdint>

#include "library/boundary/java_string.h"

struct ArrayObject {
  std::uint32_t reserved;
  std::int32_t count;
  // The elements follow at offset 8.
};

// The element count; 0 for a null handle.
inline std::int32_t arrayLength(const ArrayObject* array) { return array ? array->count : 0; }

inline const std::int32_t* intElements(const ArrayObject* array) {
  return reinterpret_cast<const std::int32_t*>(reinterpret_cast<const std::uint8_t*>(array) + 8);
}

inline const StringHandle* stringElements(const ArrayObject* array) {
  return reinterpret_cast<const StringHandle*>(reinterpret_cast<const std::uint8_t*>(array) + 8);
}

// The number of bytes an array object of `count` elements of `elementSize` bytes takes.
constexpr std::size_t arrayObjectSize(std::size_t count, std::size_t elementSize) {
  return 8 + count * elementSize;
}
