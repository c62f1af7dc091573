// The launcher's current directory on Windows.
#include "platform/launcher_start/current_directory.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace platform {

bool setCurrentDirectoryNative(const std::string& folder) {
  return ::SetCurrentDirectoryW(win32::wide(folder).c_str()) != 0;
}

}  // namespace platform
