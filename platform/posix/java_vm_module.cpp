// Finding and loading the installed Java VM's libjvm, the way the `java` program's own
// installation lays it out: JAVA_HOME first, then the installation behind the `java` on PATH,
// then Debian's default one. Every place looked in is written down, so that the user can be told
// where no VM was found.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

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

bool exists(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0;
}

// A Java installation to look in and how it was found ("JAVA_HOME", ...); or, with no folder,
// what the place looked in said instead.
struct Home {
  std::string folder;
  std::string source;
  std::string missing;
};

// JDK 9 and later keep the VM in lib/server; a JDK 8 keeps it under jre/lib/<arch>, and a JRE
// 8 (whose java is jre/bin/java) under lib/<arch>.
const char* const kLayouts[] = {
    "/lib/server/libjvm.so",
    "/lib/client/libjvm.so",
    "/jre/lib/amd64/server/libjvm.so",
    "/lib/amd64/server/libjvm.so",
};

// The first library of `home` that loads and has `entryPoint`; null otherwise, with what stood
// in the way appended to `looked`.
ModuleHandle loadFromHome(const Home& home, const char* entryPoint,
                          std::vector<std::string>& looked) {
  std::string where = home.folder + " (" + home.source + ")";
  if (!exists(home.folder)) {
    looked.push_back(where + ": no such folder");
    return nullptr;
  }
  bool anyFile = false;
  for (const char* layout : kLayouts) {
    std::string file = home.folder + layout;
    if (!exists(file)) continue;
    anyFile = true;
    ModuleHandle module = ::dlopen(file.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!module) {
      const char* reason = ::dlerror();
      looked.push_back(where + ": " + file + " cannot be loaded" +
                       (reason ? std::string(" (") + reason + ")" : std::string()));
      continue;
    }
    if (::dlsym(module, entryPoint)) return module;
    looked.push_back(where + ": " + file + " has no " + entryPoint);
    ::dlclose(module);
  }
  if (!anyFile) looked.push_back(where + ": no libjvm.so in it");
  return nullptr;
}

}  // namespace

const char* javaVmLibraryName() { return "libjvm.so"; }

ModuleHandle loadJavaVmModule(const char* entryPoint, std::vector<std::string>& looked) {
  looked.clear();
  // In the order of the search.
  std::vector<Home> homes;
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

  for (const Home& home : homes) {
    if (home.folder.empty()) {
      looked.push_back(home.missing);
      continue;
    }
    if (ModuleHandle module = loadFromHome(home, entryPoint, looked)) {
      looked.clear();
      return module;
    }
  }
  return nullptr;
}

}  // namespace platform
