#include "library/boundary/file_name.h"

bool convertFileName(StringHandle name, NameBuffer& buffer) {
  javaString2CString(name, buffer, kNameBufferSize);
  return javaStringLength(name) < kNameBufferSize;
}
