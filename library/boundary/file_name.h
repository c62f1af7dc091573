// The fixed buffers that Java strings are converted into, and the conversion of names and texts.
//
// A name's 8-bit text (one byte per character, as every conversion makes it) is Latin-1; the
// platform layer takes names in UTF-8. Both forms are made here, in one pass over the string:
// the UTF-8 form names the file to open, the 8-bit text is what a cabinet stores as the entry's
// name. Nothing else in the library converts a name or a text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "library/boundary/java_string.h"
#include "platform/latin1_text.h"

constexpr std::int32_t kNameBufferSize = 256;          // names, directories, cabinet path and name
constexpr std::int32_t kClipboardBufferSize = 0x4000;  // the clipboard text

// A name of at most 255 characters in UTF-8, with its terminating zero.
constexpr std::size_t kFileNameSize =
    platform::kUtf8BytesPerLatin1Character * (kNameBufferSize - 1) + 1;
using FileName = char[kFileNameSize];

// Converts a name (its first 255 characters, other characters than U+0000 to U+00FF as '?', as
// every conversion does) into `utf8`. The string's length is read once and its
// characters once. False when the converted text does not name what the caller named: the name
// was cut (longer than 255 characters), holds a character outside U+0001 to U+00FF (its '?'
// would name another file) or holds U+0000 (which would end the name early). Acting on such a
// text would read or write a file the caller never named, so exports that open or create files
// refuse it.
bool convertFileName(StringHandle name, FileName& utf8);

// A cabinet entry of `length` characters (the string's length, as the caller took it) in one
// pass: its 8-bit text into `text` (length + 1 bytes), stored in the cabinet as it is, and that
// text in UTF-8 into `utf8` (2 × length + 1 bytes), the name of the file to read. False when a
// character lies outside U+0001 to U+00FF; both texts are still written ('?' for the others).
bool convertEntryName(StringHandle entry, std::int32_t length, char* text, char* utf8);

// A converted text (the clipboard's: its first `length` bytes, up to a zero byte) in the UTF-8
// form the platform layer takes texts in.
std::string platformText(const char* text, std::size_t length);
