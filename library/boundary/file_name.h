// The fixed buffers that Java strings are converted into, and the guard on file names.
#pragma once

#include <cstdint>

#include "library/boundary/java_string.h"

constexpr std::int32_t kNameBufferSize = 256;          // names, directories, cabinet path and name
constexpr std::int32_t kClipboardBufferSize = 0x4000;  // the clipboard text

using NameBuffer = char[kNameBufferSize];

// Converts a name into its 256-byte buffer (cut to 255 characters, other characters than U+0000
// to U+00FF as '?', as every conversion does). False when the converted text does not name what
// the caller named: the name was cut, holds a character outside U+0001 to U+00FF (its '?' would
// name another file) or holds U+0000 (which would end the name early). Acting on such a text
// would read or write a file the caller never named, so exports that open or create files
// refuse it.
bool convertFileName(StringHandle name, NameBuffer& buffer);

// Whether every character of the name lies in U+0001 to U+00FF, so that its 8-bit text names
// the same file (the test convertFileName makes besides the length).
bool holdsOnlyNameCharacters(StringHandle name);
