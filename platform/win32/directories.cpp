// The current directory and the Windows directory.
#include <windows.h>

#include <cctype>
#include <mutex>
#include <string>
#include <vector>

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

bool absoluteName(const char* name, std::string& absolute) {
  // "C:\x" and "\\server\share\x" are absolute; "x", "C:x" and "\x" depend on the current
  // directory or drive, and the system resolves them as it would for CreateFileA.
  bool driveAbsolute =
      std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':' && isSeparator(name[2]);
  bool uncAbsolute = isSeparator(name[0]) && isSeparator(name[1]);
  if (driveAbsolute || uncAbsolute) {
    absolute = name;
    return true;
  }
  DWORD needed = ::GetFullPathNameA(name, 0, nullptr, nullptr);
  if (needed == 0) return false;
  std::vector<char> buffer(needed);
  DWORD got = ::GetFullPathNameA(name, needed, buffer.data(), nullptr);
  if (got == 0 || got >= needed) return false;
  absolute.assign(buffer.data(), got);
  return true;
}

}  // namespace platform
