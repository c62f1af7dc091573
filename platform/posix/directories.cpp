// The current directory, saved as a descriptor so that it comes back exactly, whatever the
// length of its path, and names joined as the kernel would resolve them.
// The system directory, the started programs' working directory, is the fixed root "/".
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "platform/platform.h"

namespace platform {

// O_PATH: a directory that may be entered but not read can still be saved.
SavedDirectory::SavedDirectory() : handle_(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

SavedDirectory::~SavedDirectory() {
  if (handle_ >= 0) ::close(handle_);
}

bool SavedDirectory::restore() const { return handle_ >= 0 && ::fchdir(handle_) == 0; }

bool setCurrentDirectory(const char* name) { return ::chdir(nativeName(name).c_str()) == 0; }

std::string systemDirectory() { return "/"; }

std::string joinedName(const char* folder, const char* name) {
  if (!folder || !*folder || name[0] == '/') return name;
  std::string joined = folder;
  if (joined.back() != '/') joined += '/';
  return joined + name;
}

}  // namespace platform
