// The module files that tests put in place of the system's modules, for each system's
// loadModule to consult first.
#pragma once

#include <string>

namespace platform {

// The file installed for the module `name` by setModuleFileOverride; empty when there is none.
std::string moduleFileOverride(const char* name);

}  // namespace platform
