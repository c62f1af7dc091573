// Names joined as the kernel would resolve them, and the system directory: the started
// programs' working directory, which is the fixed root "/".
#include "platform/platform.h"

namespace platform {

std::string systemDirectory() { return "/"; }

std::string joinedName(const char* folder, const char* name) {
  if (!folder || !*folder || name[0] == '/') return name;
  std::string joined = folder;
  if (joined.back() != '/') joined += '/';
  return joined + name;
}

}  // namespace platform
