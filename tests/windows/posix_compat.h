// The few POSIX calls that the shared test helpers make, on the C runtime of Windows.
#pragma once

#ifdef __cplusplus
#include <direct.h>
#include <io.h>

#include <cstring>

// Makes a new folder from a pattern ending in "XXXXXX"; the pattern, or null.
inline char* mkdtemp(char* pattern) {
  std::size_t length = std::strlen(pattern) + 1;
  if (::_mktemp_s(pattern, length) != 0 || ::_mkdir(pattern) != 0) return nullptr;
  return pattern;
}
#endif
