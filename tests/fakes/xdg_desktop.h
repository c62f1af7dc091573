// A private desktop for one test: its own XDG data and configuration folders in a temporary
// folder, with plain text associated with one desktop entry of the test's choosing. The
// environment variables are put back when the test ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fakes/temp_folder.h"

class XdgDesktop {
 public:
  XdgDesktop() {
    std::filesystem::create_directories(folder_.path() / "data/applications");
    std::filesystem::create_directories(folder_.path() / "system/applications");
    std::filesystem::create_directories(folder_.path() / "config");
    set("XDG_DATA_HOME", folder_.file("data"));
    set("XDG_DATA_DIRS", folder_.file("system"));
    set("XDG_CONFIG_HOME", folder_.file("config"));
    set("XDG_CONFIG_DIRS", folder_.file("config"));
    set("XDG_CURRENT_DESKTOP", "");
  }
  ~XdgDesktop() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        unsetenv(it->first.c_str());
      }
    }
  }
  XdgDesktop(const XdgDesktop&) = delete;
  XdgDesktop& operator=(const XdgDesktop&) = delete;

  const TempFolder& folder() const { return folder_; }

  // Writes a desktop entry `id` (under "data" or "system", a "/" in `file` for a subfolder).
  std::string addEntry(const std::string& file, const std::string& text,
                       const char* where = "data") {
    std::filesystem::path path = folder_.path() / where / "applications" / file;
    std::filesystem::create_directories(path.parent_path());
    return folder_.write(std::filesystem::relative(path, folder_.path()).string(), text);
  }

  // Makes the entry `id` the default application for plain text.
  void makeDefault(const std::string& id) {
    folder_.write("config/mimeapps.list", "[Default Applications]\ntext/plain=" + id + "\n");
  }

  // An executable script in the folder.
  std::string addScript(const std::string& name, const std::string& text) {
    std::string path = folder_.write(name, text);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
  }

 private:
  void set(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    setenv(name, value.c_str(), 1);
  }

  TempFolder folder_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
