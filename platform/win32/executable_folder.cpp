// The running program's own folder, from the name of its file that the system keeps
// (GetModuleFileName), never from its command line.
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace platform {

std::string executableFolder() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD got = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (got == 0) return {};
    if (got < path.size()) {
      path.resize(got);
      break;
    }
    if (path.size() >= (1u << 16)) return {};
    path.resize(path.size() * 2);  // cut: try again with more room
  }
  std::size_t separator = path.rfind('\\');
  if (separator == std::string::npos) return path;
  // A program in a drive's root keeps the separator: "C:" alone names the drive's current
  // directory, not its root.
  return separator > 0 && path[separator - 1] == ':' ? path.substr(0, separator + 1)
                                                     : path.substr(0, separator);
}

}  // namespace platform
