// Modules through the Windows loader. "CABINET" is the system's own cabinet library, taken from
// the system folder only, so that no CABINET.DLL in the current or the program's folder can
// stand in for it.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/common/module_overrides.h"
#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace platform {
ModuleHandle loadModule(const char* name) {
  if (!name) return nullptr;
  std::string overridden = moduleFileOverride(name);
  if (!overridden.empty()) return ::LoadLibraryW(win32::widePath(overridden).c_str());
  if (std::strcmp(name, "CABINET") == 0) {
    return ::LoadLibraryExW(L"CABINET", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  return ::LoadLibraryW(win32::widePath(name).c_str());
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
  return moduleFolder(reinterpret_cast<const void*>(::GetModuleHandleW(nullptr)));
}

std::string moduleFolder(const void* address) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(address), &module)) {
    return {};
  }
  std::wstring wideName(MAX_PATH, L'\0');
  for (;;) {
    DWORD got = ::GetModuleFileNameW(module, wideName.data(), static_cast<DWORD>(wideName.size()));
    if (got == 0) return {};
    if (got < wideName.size()) {
      wideName.resize(got);
      break;
    }
    wideName.resize(wideName.size() * 2);  // cut: try again with more room
  }
  // The loader may give a long path in its "\\?\" form; the folder is named without it.
  if (wideName.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    wideName = L"\\\\" + wideName.substr(8);
  } else if (wideName.rfind(L"\\\\?\\", 0) == 0) {
    wideName = wideName.substr(4);
  }
  std::string path = win32::utf8(wideName.c_str(), static_cast<int>(wideName.size()));
  std::size_t separator = path.find_last_of("\\/");
  if (separator == std::string::npos) return {};
  // A module in a drive's root keeps its separator: "C:\".
  return separator > 0 && path[separator - 1] == ':' ? path.substr(0, separator + 1)
                                                     : path.substr(0, separator);
}

}  // namespace platform
