#include "library/boundary/java_string.h"

#include <algorithm>

std::int32_t javaStringLength(StringHandle string) {
  return string ? string->ops->length(string) : 0;
}

void javaString2CString(StringHandle string, char* buffer, std::int32_t size) {
  if (!buffer || size <= 0) return;
  std::int32_t count = std::min(javaStringLength(string), size - 1);
  // Converted in chunks, so that a long string needs no second buffer as long as itself.
  constexpr std::int32_t kChunk = 1024;
  std::uint16_t units[kChunk];
  for (std::int32_t done = 0; done < count;) {
    std::int32_t step = std::min(kChunk, count - done);
    string->ops->units(string, done, step, units);
    for (std::int32_t i = 0; i < step; ++i) buffer[done + i] = narrowCharacter(units[i]);
    done += step;
  }
  buffer[count] = '\0';
}
