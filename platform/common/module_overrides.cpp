// Module overrides: a table of module names and the files that stand in for them.
#include "platform/common/module_overrides.h"

#include <map>
#include <mutex>

#include "platform/testing/platform_testing.h"

namespace platform {
namespace {

struct Overrides {
  std::mutex lock;
  std::map<std::string, std::string> files;
};

Overrides& overrides() {
  static Overrides table;
  return table;
}

}  // namespace

std::string moduleFileOverride(const char* name) {
  Overrides& table = overrides();
  std::lock_guard<std::mutex> held(table.lock);
  auto found = table.files.find(name);
  return found == table.files.end() ? std::string() : found->second;
}

void setModuleFileOverride(const char* name, const char* file) {
  Overrides& table = overrides();
  std::lock_guard<std::mutex> held(table.lock);
  if (file) {
    table.files[name] = file;
  } else {
    table.files.erase(name);
  }
}

}  // namespace platform
