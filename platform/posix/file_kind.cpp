// The kind of an open file, from its status.
#include <sys/stat.h>

#include "platform/platform.h"

namespace platform {

bool isRegularFile(FileHandle file) {
  struct stat info {};
  return file >= 0 && ::fstat(static_cast<int>(file), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace platform
