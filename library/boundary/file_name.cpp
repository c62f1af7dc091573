#include "library/boundary/file_name.h"

#include <algorithm>

namespace {

// Walks the first `count` characters once, in chunks: the 8-bit text into `text` (when given)
// and its UTF-8 form into `utf8`, each zero-terminated. False when a character is U+0000 or
// lies beyond U+00FF.
bool convertName(StringHandle name, std::int32_t count, char* text, char* utf8) {
  constexpr std::int32_t kChunk = 256;
  std::uint16_t units[kChunk];
  bool whole = true;
  for (std::int32_t done = 0; done < count;) {
    const std::int32_t step = std::min(kChunk, count - done);
    name->ops->units(name, done, step, units);
    for (std::int32_t i = 0; i < step; ++i) {
      whole = whole && units[i] != 0 && units[i] <= 0xFF;
      const char c = narrowCharacter(units[i]);
      if (text) text[done + i] = c;
      utf8 = platform::putLatin1AsUtf8(static_cast<unsigned char>(c), utf8);
    }
    done += step;
  }
  if (text) text[count] = '\0';
  *utf8 = '\0';
  return whole;
}

}  // namespace

bool convertFileName(StringHandle name, FileName& utf8) {
  const std::int32_t length = javaStringLength(name);
  const std::int32_t count = std::clamp(length, 0, kNameBufferSize - 1);
  const bool whole = convertName(name, count, nullptr, utf8);
  return whole && length < kNameBufferSize;
}

bool convertEntryName(StringHandle entry, std::int32_t length, char* text, char* utf8) {
  return convertName(entry, std::max(length, 0), text, utf8);
}

std::string platformText(const char* text, std::size_t length) {
  return platform::utf8FromLatin1(text, length);
}
