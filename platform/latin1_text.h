// The 8-bit text of the system's own interfaces (one byte per character, Latin-1: byte n is
// U+00nn) in the form every name and text takes past this layer: UTF-8. Each caller converts
// once, where its 8-bit text enters (the library's Java boundary, the launcher's message); the
// layer itself takes UTF-8 only.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The most bytes one 8-bit character takes in UTF-8.
constexpr std::size_t kUtf8BytesPerLatin1Character = 2;

// Writes the UTF-8 form of one 8-bit character at `out`; the position after it.
inline char* putLatin1AsUtf8(unsigned char c, char* out) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else {
    *out++ = static_cast<char>(0xC0 | c >> 6);
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// The UTF-8 form of the 8-bit text `text`, up to its first zero byte or `length` bytes.
inline std::string utf8FromLatin1(const char* text, std::size_t length = std::string::npos) {
  std::string utf8;
  if (!text) return utf8;
  char pair[kUtf8BytesPerLatin1Character];
  for (std::size_t i = 0; i < length && text[i] != '\0'; ++i) {
    utf8.append(pair, putLatin1AsUtf8(static_cast<unsigned char>(text[i]), pair));
  }
  return utf8;
}

}  // namespace platform
