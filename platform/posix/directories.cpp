// The current directory, saved as an open descriptor so that it comes back exactly, whatever
// the length of its path.
#include <fcntl.h>
#include <unistd.h>

#include "platform/platform.h"

namespace platform {

SavedDirectory::SavedDirectory() : handle_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

SavedDirectory::~SavedDirectory() {
  if (handle_ >= 0) ::close(handle_);
}

bool SavedDirectory::restore() const { return handle_ >= 0 && ::fchdir(handle_) == 0; }

bool setCurrentDirectory(const char* name) { return ::chdir(nativeName(name).c_str()) == 0; }

std::string systemDirectory() { return "/"; }

}  // namespace platform
