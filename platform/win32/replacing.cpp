// The system's parts of replacing a file: where the replacement goes, the new file beside the
// target, and the step that puts it in the target's place.
//
// An existing target is replaced with ReplaceFile, which keeps what Windows keeps of a file
// across a rewrite (its attributes, security descriptor and creation time); a new name is given
// to the new file with MoveFileEx. Either leaves the target as it was when it fails.
#include <windows.h>

#include <cstdio>

#include "platform/common/unique_name.h"
#include "platform/platform.h"

namespace platform {
namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// The folder part of a path: without its last separator, except where that separator is the root
// ("\", "C:\"); "." for a bare name; "C:" for a name relative to a drive's current folder.
std::string folderOf(const std::string& path) {
  std::string::size_type last = path.find_last_of("\\/");
  if (last == std::string::npos) {
    return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string(".");
  }
  if (last == 0 || path[last - 1] == ':') return path.substr(0, last + 1);
  return path.substr(0, last);
}

// The path a reparse point (a symbolic link or a junction) leads to, without the "\\?\" that
// the system puts before it; empty when it leads nowhere.
std::string finalPath(const std::string& path) {
  HANDLE handle =
      ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  char buffer[MAX_PATH + 8];
  DWORD length = ::GetFinalPathNameByHandleA(handle, buffer, sizeof buffer, FILE_NAME_NORMALIZED);
  ::CloseHandle(handle);
  if (length == 0 || length >= sizeof buffer) return {};
  std::string resolved(buffer, length);
  if (resolved.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + resolved.substr(8);
  if (resolved.rfind("\\\\?\\", 0) == 0) return resolved.substr(4);
  return resolved;
}

// A fresh name's six characters from the time and the process; names on Windows do not tell
// cases apart.
std::string uniqueSuffix() {
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  return uniqueNameSuffix(static_cast<std::uint64_t>(now.QuadPart) ^
                              static_cast<std::uint64_t>(::GetCurrentProcessId()) << 40,
                          false);
}

}  // namespace

bool findReplacementTarget(const char* name, ReplacementTarget& target) {
  std::string path = nativeName(name);
  if (path.empty()) return false;
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
    target.exists = false;
  } else {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      // A link stays a link: what it leads to gets the new contents. A link that leads nowhere
      // is not written.
      path = finalPath(path);
      if (path.empty()) return false;
      attributes = ::GetFileAttributesA(path.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    }
    // A file that may not be written is not overruled by a new one in its place.
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY)) {
      return false;
    }
    // What the name opens must be a file on a disk that this process may write ("NUL", "CON"
    // and the other device names have attributes too). Opening for writing changes nothing.
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    bool onDisk = ::GetFileType(handle) == FILE_TYPE_DISK;
    ::CloseHandle(handle);
    if (!onDisk) return false;
    target.exists = true;
  }
  target.path = path;
  target.folder = folderOf(path);
  return true;
}

FileHandle createSibling(const ReplacementTarget& target, std::string& sibling, bool& refused) {
  refused = false;
  std::string prefix = target.folder;
  if (!prefix.empty() && !isSeparator(prefix.back()) && prefix.back() != ':') prefix += '\\';
  prefix += ".tv";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix + uniqueSuffix();
    HANDLE handle = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                  FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      // The target's attributes, as the POSIX layer gives the new file the old one's mode:
      // ReplaceFile keeps them on Windows itself, not on every system that provides it.
      DWORD attributes =
          target.exists ? ::GetFileAttributesA(target.path.c_str()) : INVALID_FILE_ATTRIBUTES;
      if (attributes != INVALID_FILE_ATTRIBUTES) {
        attributes &= FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        ::SetFileAttributesA(name.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
      }
      sibling = name;
      return reinterpret_cast<FileHandle>(handle);
    }
    DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
    refused = error == ERROR_ACCESS_DENIED;
    return kInvalidFile;
  }
  return kInvalidFile;
}

bool moveSiblingInPlace(const std::string& sibling, const ReplacementTarget& target) {
  if (target.exists && ::ReplaceFileA(target.path.c_str(), sibling.c_str(), nullptr,
                                      REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    return true;
  }
  // A new name, or a target that went away meanwhile: the new file takes the name, as a rename
  // would, over whatever came there since.
  if (target.exists && ::GetFileAttributesA(target.path.c_str()) != INVALID_FILE_ATTRIBUTES) {
    return false;
  }
  return ::MoveFileExA(sibling.c_str(), target.path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void removeSibling(const std::string& sibling) {
  if (!sibling.empty()) ::DeleteFileA(sibling.c_str());
}

}  // namespace platform
