// Modules through the dynamic loader. "CABINET" is the cabinet writer module (libcabwriter.so)
// in this library's own folder.
#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/common/module_overrides.h"
#include "platform/platform.h"

namespace platform {
namespace {

// The system's module names and the files that stand in for them here.
std::string moduleFileName(const char* name) {
  std::string overridden = moduleFileOverride(name);
  if (!overridden.empty()) return overridden;
  if (std::strcmp(name, "CABINET") == 0) {
    return moduleFolder(reinterpret_cast<const void*>(&moduleFileName)) + "/libcabwriter.so";
  }
  return nativeName(name);
}

}  // namespace

ModuleHandle loadModule(const char* name) {
  if (!name) return nullptr;
  return ::dlopen(moduleFileName(name).c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* findSymbol(ModuleHandle module, const char* symbol) {
  return module ? ::dlsym(module, symbol) : nullptr;
}

void freeModule(ModuleHandle module) {
  if (module) ::dlclose(module);
}

namespace {

// The folder part of an absolute path: "/a/b" gives "/a", "/b" gives "/".
std::string folderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The kernel's name for the running program's file: the file itself, whatever name or link it
// was started through. A file removed since the start is named with " (deleted)" after it, which
// leaves its folder as it was.
std::string executablePath() {
  std::string buffer(256, '\0');
  for (;;) {
    ssize_t got = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (got <= 0) return {};
    // A result that fills the buffer may have been cut: try again with more room.
    if (static_cast<std::size_t>(got) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(got));
      return buffer;
    }
    if (buffer.size() >= (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string executableFolder() {
  std::string path = executablePath();
  if (path.empty() || path[0] != '/') return {};
  return folderOf(path);
}

std::string moduleFolder(const void* address) {
  Dl_info info{};
  if (!::dladdr(address, &info) || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  // An executable's own name can come back without a folder; ask the kernel for it instead.
  if (path.find('/') == std::string::npos) path = executablePath();
  return folderOf(path);
}

}  // namespace platform
