// The kind of an open file: an ordinary file on disk, or something else.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

bool isRegularFile(FileHandle file) {
  if (file == kInvalidFile || file == 0) return false;
  HANDLE handle = reinterpret_cast<HANDLE>(file);
  if (::GetFileType(handle) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION information;
  return ::GetFileInformationByHandle(handle, &information) &&
         !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace platform
