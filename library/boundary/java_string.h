// Java strings as the library receives them: an opaque handle with two services, the length in
// characters (UTF-16 units) and the conversion to 8-bit text (one byte per character; U+0000 to
// U+00FF as that byte, any other character as '?').
//
// A handle points to a record whose first member is the table of the two operations, so the same
// code serves strings from the JVM (the JNI bridge) and strings made by tests.
#pragma once

#include <cstdint>

struct JavaStringOps;

struct JavaString {
  const JavaStringOps* ops;
};

using StringHandle = const JavaString*;

struct JavaStringOps {
  // The number of UTF-16 units.
  std::int32_t (*length)(StringHandle string);
  // Copies units [start, start + count) into `units`.
  void (*units)(StringHandle string, std::int32_t start, std::int32_t count, std::uint16_t* units);
};

// The string's length in characters; 0 for a null handle.
std::int32_t javaStringLength(StringHandle string);

// The string as zero-terminated 8-bit text in `buffer`; never more than `size` bytes written, a
// longer string cut to size - 1 characters. A null handle gives the empty text.
void javaString2CString(StringHandle string, char* buffer, std::int32_t size);

// One UTF-16 unit as the 8-bit character that stands for it.
constexpr char narrowCharacter(std::uint16_t unit) {
  return unit <= 0xFF ? static_cast<char>(static_cast<unsigned char>(unit)) : '?';
}
