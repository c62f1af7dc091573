// Finding and loading the installed JDK's libjvm, the way the `java` program's own JDK lays it
// out: JAVA_HOME first, then the JDK behind the `java` on PATH, then Debian's default JDK.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/process.h"

namespace platform {
namespace {

// The folder above `path`'s folder ("/a/jdk/bin/java" gives "/a/jdk"); empty when there is none.
std::string grandparent(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return {};
  std::size_t above = path.rfind('/', slash - 1);
  if (above == std::string::npos) return {};
  return path.substr(0, above);
}

std::string realPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return {};
  std::string result = resolved;
  std::free(resolved);
  return result;
}

}  // namespace

ModuleHandle loadJavaVmModule() {
  std::vector<std::string> homes;
  if (const char* home = std::getenv("JAVA_HOME"); home && *home) homes.emplace_back(home);
  std::string java = posix::findOnPath("java");
  if (!java.empty()) {
    std::string home = grandparent(realPath(java));
    if (!home.empty()) homes.push_back(home);
  }
  homes.emplace_back("/usr/lib/jvm/default-java");

  // JDK 9 and later keep the VM in lib/server; a JDK 8 keeps it under jre/lib/<arch>, and a JRE
  // 8 (whose java is jre/bin/java) under lib/<arch>.
  static const char* const kLayouts[] = {
      "/lib/server/libjvm.so",       "/lib/client/libjvm.so",
      "/jre/lib/amd64/server/libjvm.so", "/lib/amd64/server/libjvm.so",
  };
  for (const std::string& home : homes) {
    for (const char* layout : kLayouts) {
      if (ModuleHandle module = ::dlopen((home + layout).c_str(), RTLD_NOW | RTLD_GLOBAL)) {
        return module;
      }
    }
  }
  return nullptr;
}

}  // namespace platform
