// The walk through the places a Java VM's library may be, shared by both systems' layers: each
// says where to look (its Java installations, in order, and where the library lies within one)
// and how a candidate is told apart and loaded; the walk takes the first candidate that loads
// and has the entry point, and writes down what stood in the way everywhere else.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

// A Java installation to look in and how it was found ("JAVA_HOME", ...); or, with no folder,
// what the place looked in said instead.
struct JavaHome {
  std::string folder;
  std::string source;
  std::string missing;
};

// The runtime bundled with the program: the folder "runtime" in the launcher's folder, joined
// with the system's separator; when that folder cannot be told, what stood in the way.
JavaHome bundledRuntime(const std::string& launcherFolder, char separator);

// The system's part of the walk.
struct JavaVmPlaces {
  std::vector<JavaHome> homes;
  std::vector<const char*> layouts;  // the library's names within an installation's folder
  bool (*isFolder)(const std::string& path);
  bool (*isFile)(const std::string& path);
  // Loads a candidate; null with `reason` saying why (empty when the system does not tell).
  ModuleHandle (*load)(const std::string& file, std::string& reason);
};

// The first candidate that loads and has `entryPoint`; null when none will do, with one line
// for each place looked in appended to `looked` (cleared on success).
ModuleHandle findJavaVm(const JavaVmPlaces& places, const char* entryPoint,
                        std::vector<std::string>& looked);

}  // namespace platform
