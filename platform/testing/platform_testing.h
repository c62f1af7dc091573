// What tests may do to the platform layer that the product never does: put recording or failing
// services and stand-in modules in place of the system's. Only targets that link the CMake
// target `platform_testing` (the test programs and the fuzz targets) can include this header.
#pragma once

#if !defined(TAVOLIN_PLATFORM_TESTING)
#error "platform/testing/platform_testing.h is for test programs: link platform_testing"
#endif

#include "platform/platform.h"

namespace platform {

// Installs a replacement memory service; null restores the system's own.
void setMemoryService(MemoryService* service);

// Installs a replacement message service; null restores the system's own.
void setMessageService(MessageService* service);

// loadModule(name) loads `file` instead of the module the name stands for; a null file removes
// the override.
void setModuleFileOverride(const char* name, const char* file);

}  // namespace platform
