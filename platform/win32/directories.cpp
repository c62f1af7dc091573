// The current directory and the Windows directory.
#include <windows.h>

#include <cctype>
#include <string>

#include "platform/platform.h"

namespace platform {
namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

// The directory is held open, so that its path can be asked for again at the restore: a
// directory renamed meanwhile is still the one that comes back.
SavedDirectory::SavedDirectory()
    : handle_(reinterpret_cast<std::intptr_t>(
          ::CreateFileA(".", 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr))) {}

SavedDirectory::~SavedDirectory() {
  HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
}

bool SavedDirectory::restore() const {
  HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  if (handle == INVALID_HANDLE_VALUE) return false;
  char path[MAX_PATH + 8];
  DWORD length = ::GetFinalPathNameByHandleA(handle, path, sizeof path, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= sizeof path) return false;
  return ::SetCurrentDirectoryA(path) != 0;
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
