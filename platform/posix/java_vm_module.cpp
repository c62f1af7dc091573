// Finding and loading a Java VM's libjvm, the way the `java` program's own installation lays it
// out: first the runtime bundled beside the launcher (the folder "runtime", as jlink and jpackage
// lay one out), then JAVA_HOME, then the installation behind the `java` on PATH, then Debian's
// default one. Every place looked in is written down, so that the user can be told
// where no VM was found.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/java_vm_search.h"
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

bool exists(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0;
}

// JDK 9 and later keep the VM in lib/server; a JDK 8 keeps it under jre/lib/<arch>, and a JRE
// 8 (whose java is jre/bin/java) under lib/<arch>.
const std::vector<const char*> kLayouts = {
    "/lib/server/libjvm.so",
    "/lib/client/libjvm.so",
    "/jre/lib/amd64/server/libjvm.so",
    "/lib/amd64/server/libjvm.so",
};

ModuleHandle loadGlobally(const std::string& file, std::string& reason) {
  ModuleHandle module = ::dlopen(file.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (!module) {
    const char* error = ::dlerror();
    if (error) reason = error;
  }
  return module;
}

}  // namespace

const char* javaVmLibraryName() { return "libjvm.so"; }

ModuleHandle loadJavaVmModule(const char* entryPoint, std::vector<std::string>& looked) {
  // In the order of the search.
  std::vector<JavaHome> homes;
  homes.push_back(bundledRuntime(executableFolder(), '/'));
  const char* javaHome = std::getenv("JAVA_HOME");
  if (javaHome && *javaHome) {
    homes.push_back({javaHome, "JAVA_HOME", ""});
  } else {
    homes.push_back({"", "", "JAVA_HOME: not set"});
  }
  std::string java = posix::findOnPath("java");
  std::string javaFolder = java.empty() ? std::string() : grandparent(realPath(java));
  if (!javaFolder.empty()) {
    homes.push_back({javaFolder, "the Java of " + java, ""});
  } else {
    homes.push_back(
        {"", "", java.empty() ? "PATH: no java program" : java + ": not a Java installation"});
  }
  homes.push_back({"/usr/lib/jvm/default-java", "the system's default Java", ""});

  return findJavaVm({homes, kLayouts, exists, exists, loadGlobally}, entryPoint, looked);
}

}  // namespace platform
