// Ending the process at once, whatever its other threads are doing.
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

namespace platform {

void endProcess(int status) {
  std::fflush(nullptr);
  // Not ExitProcess: that would run every module's detach code while threads of the Java VM may
  // still hold its locks. TerminateProcess ends them all where they are.
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
  // Reached only if the system refused, which it does not do for the calling process.
  ::ExitProcess(static_cast<UINT>(status));
}

}  // namespace platform
