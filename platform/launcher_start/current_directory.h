// The launcher's own start-up: making its folder the current directory before any Java runs.
//
// The current directory belongs to every thread of the process, and in a Java VM other threads
// resolve relative names against it at any moment. So this is not a service of platform.h:
// it lives in a library of its own (platform_launcher_start) that only the launcher links, and
// libKestrilo, which runs inside the VM, cannot call it.
#pragma once

#include <string>

namespace platform {

// Makes current a folder (as moduleFolder returns it); false on failure.
bool setCurrentDirectoryNative(const std::string& folder);

}  // namespace platform
