// The current directory, saved as an open descriptor so that it comes back exactly, whatever
// the length of its path.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/platform.h"

namespace platform {

SavedDirectory::SavedDirectory() : handle_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

SavedDirectory::~SavedDirectory() {
  if (handle_ >= 0) ::close(handle_);
}

bool SavedDirectory::restore() const { return handle_ >= 0 && ::fchdir(handle_) == 0; }

bool setCurrentDirectory(const char* name) { return ::chdir(nativeName(name).c_str()) == 0; }

std::string systemDirectory() { return "/"; }

bool absoluteName(const char* name, std::string& absolute) {
  if (name[0] == '/') {
    absolute = name;
    return true;
  }
  std::vector<char> buffer(4096);
  while (!::getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) return false;
    buffer.resize(buffer.size() * 2);
  }
  // The folder's UTF-8 name back to Latin-1, one byte per character.
  std::string folder;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(buffer.data()); *p; ++p) {
    if (*p < 0x80) {
      folder += static_cast<char>(*p);
    } else if ((*p == 0xC2 || *p == 0xC3) && (p[1] & 0xC0) == 0x80) {
      folder += static_cast<char>(((*p & 0x03) << 6) | (p[1] & 0x3F));
      ++p;
    } else {
      return false;
    }
  }
  absolute = folder == "/" ? "/" + std::string(name) : folder + "/" + name;
  return true;
}

}  // namespace platform
