#include "library/boundary/file_name.h"

#include <algorithm>

bool holdsOnlyNameCharacters(StringHandle name) {
  const std::int32_t length = javaStringLength(name);
  std::uint16_t units[kNameBufferSize];
  for (std::int32_t done = 0; done < length;) {
    const std::int32_t step = std::min(kNameBufferSize, length - done);
    name->ops->units(name, done, step, units);
    for (std::int32_t i = 0; i < step; ++i) {
      if (units[i] == 0 || units[i] > 0xFF) return false;
    }
    done += step;
  }
  return true;
}

bool convertFileName(StringHandle name, NameBuffer& buffer) {
  javaString2CString(name, buffer, kNameBufferSize);
  return javaStringLength(name) < kNameBufferSize && holdsOnlyNameCharacters(name);
}
