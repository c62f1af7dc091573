// The launcher's current directory on Linux.
#include "platform/launcher_start/current_directory.h"

#include <unistd.h>

namespace platform {

bool setCurrentDirectoryNative(const std::string& folder) { return ::chdir(folder.c_str()) == 0; }

}  // namespace platform
