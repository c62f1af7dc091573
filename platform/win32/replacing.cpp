// Putting a finished replacement in place of its target in one step, and readying it for that.
//
// An existing target is replaced with ReplaceFile, which keeps what Windows keeps of a file
// across a rewrite (its attributes, security descriptor and creation time); a missing one is
// given the new file's name with MoveFileEx. On failure either leaves the target as it was.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

bool adoptTargetPermissions(FileHandle, const char* target) {
  DWORD attributes = ::GetFileAttributesA(target);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  // A read-only file stays as it is; a folder, a link or a device is never replaced by a file.
  if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY |
                    FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) {
    return false;
  }
  return true;
}

bool replaceFile(const char* source, const char* target) {
  if (::GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES) {
    return ::ReplaceFileA(target, source, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                          nullptr) != 0;
  }
  return ::MoveFileExA(source, target, MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace platform
