// Names and texts between the platform layer's UTF-8 and the UTF-16 of Windows' wide functions.
// The "A" functions are never called: they read bytes in the system's ANSI code page, which would
// make "café.jpg" another name under code page 1251 ("cafй.jpg") or 932.
#pragma once

#include <string>

namespace platform::win32 {

// The UTF-16 form of a UTF-8 text (a null text is the empty one; a byte that is no UTF-8 becomes
// U+FFFD, never a character of some code page).
std::wstring wide(const char* utf8);
inline std::wstring wide(const std::string& utf8) { return wide(utf8.c_str()); }

// A file name for the wide functions: its UTF-16 form, and from MAX_PATH characters on its full
// path in the "\\?\" form (and "\\?\UNC\" for a share), which has no such limit. A shorter name
// is passed as it is, so that the system resolves it as it always does.
std::wstring widePath(const char* utf8);
inline std::wstring widePath(const std::string& utf8) { return widePath(utf8.c_str()); }

// The UTF-8 form of `length` UTF-16 units (with -1, of the zero-terminated text).
std::string utf8(const wchar_t* text, int length = -1);

}  // namespace platform::win32
