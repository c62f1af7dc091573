#include "library/boundary/file_name.h"

bool convertFileName(StringHandle name, NameBuffer& buffer) {
  javaString2CString(name, buffer, kNameBufferSize);
  const std::int32_t length = javaStringLength(name);
  if (length >= kNameBufferSize) return false;
  std::uint16_t units[kNameBufferSize];
  if (length > 0) name->ops->units(name, 0, length, units);
  for (std::int32_t i = 0; i < length; ++i) {
    // '?' would stand for the character, and a zero byte would end the name early: either names
    // another file than the caller's.
    if (units[i] == 0 || units[i] > 0xFF) return false;
  }
  return true;
}
