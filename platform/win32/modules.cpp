// Modules through the Windows loader. "CABINET" is the system's own cabinet library, taken from
// the system folder only, so that no CABINET.DLL in the current or the program's folder can
// stand in for it.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/common/module_overrides.h"
#include "platform/platform.h"

namespace platform {
ModuleHandle loadModule(const char* name) {
  if (!name) return nullptr;
  std::string overridden = moduleFileOverride(name);
  if (!overridden.empty()) return ::LoadLibraryA(overridden.c_str());
  if (std::strcmp(name, "CABINET") == 0) {
    return ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  return ::LoadLibraryA(name);
}

void* findSymbol(ModuleHandle module, const char* symbol) {
  if (!module) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), symbol));
}

void freeModule(ModuleHandle module) {
  if (module) ::FreeLibrary(static_cast<HMODULE>(module));
}

std::string executableFolder() {
  // The module of the running program's own file, however it was started.
  return moduleFolder(reinterpret_cast<const void*>(::GetModuleHandleA(nullptr)));
}

std::string moduleFolder(const void* address) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module)) {
    return {};
  }
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD got = ::GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
    if (got == 0) return {};
    if (got < path.size()) {
      path.resize(got);
      break;
    }
    path.resize(path.size() * 2);  // cut: try again with more room
  }
  std::size_t separator = path.find_last_of("\\/");
  if (separator == std::string::npos) return {};
  // A module in a drive's root keeps its separator: "C:\".
  return separator > 0 && path[separator - 1] == ':' ? path.substr(0, separator + 1)
                                                     : path.substr(0, separator);
}

}  // namespace platform
