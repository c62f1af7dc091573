#include "platform/java_vm_search.h"

namespace platform {
namespace {

ModuleHandle loadFromHome(const JavaVmPlaces& places, const JavaHome& home, const char* entryPoint,
                          std::vector<std::string>& looked) {
  std::string where = home.folder + " (" + home.source + ")";
  if (!places.isFolder(home.folder)) {
    looked.push_back(where + ": no such folder");
    return nullptr;
  }
  bool anyFile = false;
  for (const char* layout : places.layouts) {
    std::string file = home.folder + layout;
    if (!places.isFile(file)) continue;
    anyFile = true;
    std::string reason;
    ModuleHandle module = places.load(file, reason);
    if (!module) {
      looked.push_back(where + ": " + file + " cannot be loaded" +
                       (reason.empty() ? std::string() : " (" + reason + ")"));
      continue;
    }
    if (findSymbol(module, entryPoint)) return module;
    looked.push_back(where + ": " + file + " has no " + entryPoint);
    freeModule(module);
  }
  if (!anyFile) looked.push_back(where + ": no " + javaVmLibraryName() + " in it");
  return nullptr;
}

}  // namespace

JavaHome bundledRuntime(const std::string& launcherFolder, char separator) {
  if (launcherFolder.empty())
    return {"", "", "the bundled runtime: the launcher's folder is unknown"};
  return {launcherFolder + separator + "runtime", "the runtime bundled with the launcher", ""};
}

ModuleHandle findJavaVm(const JavaVmPlaces& places, const char* entryPoint,
                        std::vector<std::string>& looked) {
  looked.clear();
  for (const JavaHome& home : places.homes) {
    if (home.folder.empty()) {
      looked.push_back(home.missing);
      continue;
    }
    if (ModuleHandle module = loadFromHome(places, home, entryPoint, looked)) {
      looked.clear();
      return module;
    }
  }
  return nullptr;
}

}  // namespace platform
