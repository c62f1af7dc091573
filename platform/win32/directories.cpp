// The current directory and the Windows directory.
#include <windows.h>

#include <cctype>
#include <mutex>
#include <string>

#include "platform/platform.h"

namespace platform {
namespace {

// Saved directories by number: the class holds only a number of the platform's own.
std::mutex savedLock;
std::vector<std::string> savedDirectories;

std::string currentDirectory() {
  DWORD needed = ::GetCurrentDirectoryA(0, nullptr);
  if (needed == 0) return {};
  std::string folder(needed, '\0');
  DWORD got = ::GetCurrentDirectoryA(needed, folder.data());
  if (got == 0 || got >= needed) return {};
  folder.resize(got);
  return folder;
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

SavedDirectory::SavedDirectory() : handle_(-1) {
  std::string folder = currentDirectory();
  if (folder.empty()) return;
  std::lock_guard<std::mutex> guard(savedLock);
  savedDirectories.push_back(folder);
  handle_ = static_cast<int>(savedDirectories.size() - 1);
}

SavedDirectory::~SavedDirectory() {
  if (handle_ < 0) return;
  std::lock_guard<std::mutex> guard(savedLock);
  savedDirectories[static_cast<std::size_t>(handle_)].clear();
  while (!savedDirectories.empty() && savedDirectories.back().empty()) savedDirectories.pop_back();
}

bool SavedDirectory::restore() const {
  if (handle_ < 0) return false;
  std::string folder;
  {
    std::lock_guard<std::mutex> guard(savedLock);
    folder = savedDirectories[static_cast<std::size_t>(handle_)];
  }
  return ::SetCurrentDirectoryA(folder.c_str()) != 0;
}

bool setCurrentDirectory(const char* name) { return ::SetCurrentDirectoryA(name) != 0; }

bool setCurrentDirectoryNative(const std::string& folder) {
  return ::SetCurrentDirectoryA(folder.c_str()) != 0;
}

std::string systemDirectory() {
  char folder[MAX_PATH + 1];
  UINT got = ::GetWindowsDirectoryA(folder, sizeof folder);
  if (got == 0 || got >= sizeof folder) return {};
  return std::string(folder, got);
}

std::string joinedName(const char* folder, const char* name) {
  // A name with a drive ("C:\x", "C:x") or from a root ("\x", "\\server\share\x") does not
  // depend on the folder.
  bool hasDrive = std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
  if (!folder || !*folder || hasDrive || isSeparator(name[0])) return name;
  std::string joined = folder;
  if (!isSeparator(joined.back())) joined += '\\';
  return joined + name;
}

}  // namespace platform
