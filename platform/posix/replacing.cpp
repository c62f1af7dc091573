// Readying a replacement file: permission bits taken over from the file it replaces.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

namespace platform {

bool adoptTargetPermissions(FileHandle file, const char* target) {
  std::string name = nativeName(target);
  struct stat info {};
  if (::lstat(name.c_str(), &info) != 0) return errno == ENOENT;
  if (!S_ISREG(info.st_mode)) return false;
  if (::access(name.c_str(), W_OK) != 0) return false;
  return ::fchmod(static_cast<int>(file), info.st_mode & 07777) == 0;
}

}  // namespace platform
