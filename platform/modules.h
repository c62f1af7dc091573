// Modules loaded at run time, and where a module's file lies.
#pragma once

#include <string>

namespace platform {

using ModuleHandle = void*;

// Loads a module by the system's name for it ("CABINET" is the cabinet library, the system's own
// or the writer module that stands in for it); null on failure.
ModuleHandle loadModule(const char* name);
void* findSymbol(ModuleHandle module, const char* symbol);
void freeModule(ModuleHandle module);

// The folder of the module (executable or shared library) that holds `address`, without a
// trailing separator; empty when unknown.
std::string moduleFolder(const void* address);

}  // namespace platform
