// The component object services for the thread that hosts the Java VM: initialised before the
// VM is created and uninitialised after it has been released, on the launcher's main thread,
// whose message loop serves them meanwhile.
#include <objbase.h>
#include <windows.h>

#include "platform/platform.h"

namespace platform {

// S_FALSE (already initialised on this thread) is a success that must be paired as well.
bool startVmHostServices() { return SUCCEEDED(::CoInitialize(nullptr)); }

void endVmHostServices() { ::CoUninitialize(); }

}  // namespace platform
