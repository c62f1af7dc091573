// The system's parts of replacing a file: where the replacement goes, the new file beside the
// target, and the step that puts it in the target's place.
//
// An existing target is replaced with ReplaceFile, which keeps what Windows keeps of a file
// across a rewrite (its attributes, security descriptor and creation time); a new name is given
// to the new file with MoveFileEx. Either leaves the target as it was when it fails.
//
// The new file's name is short (".tv" and six letters, or five letters where only they keep its
// path within MAX_PATH), and every longer name reaches the system in its long form
// (wide_text.h): a target of the longest name an export takes, even one whose last part is a
// single character, has a sibling that the system accepts.
#include <windows.h>

#include <cstdio>

#include "platform/common/unique_name.h"
#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

using win32::widePath;

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
  HANDLE handle = ::CreateFileW(widePath(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  std::wstring buffer(MAX_PATH + 8, L'\0');
  DWORD length = ::GetFinalPathNameByHandleW(
      handle, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
  if (length >= buffer.size()) {
    // Too long for the first buffer: the length asked for, its zero included.
    buffer.assign(length + 1, L'\0');
    length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                         FILE_NAME_NORMALIZED);
  }
  ::CloseHandle(handle);
  if (length == 0 || length >= buffer.size()) return {};
  std::string resolved = win32::utf8(buffer.c_str(), static_cast<int>(length));
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

FileFault faultOf(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return FileFault::kNoSpace;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return FileFault::kNotPermitted;
    case ERROR_NOT_SAME_DEVICE:
      return FileFault::kCrossDevice;
    case ERROR_PATH_NOT_FOUND:  // the folder does not exist
    case ERROR_INVALID_NAME:
      return FileFault::kRefused;
    default:
      return FileFault::kFailed;
  }
}

bool identityOfPath(const std::string& path, FileIdentity& identity) {
  HANDLE handle = ::CreateFileW(widePath(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool known = fileIdentity(reinterpret_cast<FileHandle>(handle), identity);
  ::CloseHandle(handle);
  return known;
}

bool findTarget(const char* name, ReplacementTarget& target) {
  std::string path = nativeName(name);
  if (path.empty()) return false;
  DWORD attributes = ::GetFileAttributesW(widePath(path).c_str());
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
      attributes = ::GetFileAttributesW(widePath(path).c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    }
    // A file that may not be written is not overruled by a new one in its place.
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY)) {
      return false;
    }
    // What the name opens must be a file on a disk that this process may write ("NUL", "CON"
    // and the other device names have attributes too). Opening for writing changes nothing.
    HANDLE handle = ::CreateFileW(widePath(path).c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    bool onDisk = ::GetFileType(handle) == FILE_TYPE_DISK;
    BY_HANDLE_FILE_INFORMATION information{};
    bool known = onDisk && fileIdentity(reinterpret_cast<FileHandle>(handle), target.identity) &&
                 ::GetFileInformationByHandle(handle, &information);
    ::CloseHandle(handle);
    if (!known) return false;
    target.linked = information.nNumberOfLinks > 1;
    target.exists = true;
  }
  target.path = path;
  target.folder = folderOf(path);
  return true;
}

}  // namespace

FileFault findReplacementTarget(const char* name, ReplacementTarget& target) {
  target = ReplacementTarget{};
  return findTarget(name, target) ? FileFault::kNone : FileFault::kRefused;
}

void releaseReplacementTarget(ReplacementTarget&) {}

FileFault checkTargetUnchanged(const ReplacementTarget& target) {
  FileIdentity now;
  bool present = identityOfPath(target.path, now);
  if (!target.exists) {
    return ::GetFileAttributesW(widePath(target.path).c_str()) == INVALID_FILE_ATTRIBUTES
               ? FileFault::kNone
               : FileFault::kChanged;
  }
  return present && now == target.identity ? FileFault::kNone : FileFault::kChanged;
}

FileHandle createSibling(const ReplacementTarget& target, std::string& sibling, FileFault& fault) {
  fault = FileFault::kNone;
  std::string prefix = target.folder;
  if (!prefix.empty() && !isSeparator(prefix.back()) && prefix.back() != ':') prefix += '\\';
  // Within MAX_PATH when the target is: not every system function takes the long form of a name
  // (Wine's ReplaceFile fails on it). Beside a name of 255 characters whose last part is one
  // character, that leaves the five letters of a bare unique name.
  const std::size_t folderLength = win32::wide(prefix).size();
  const std::size_t room = folderLength < MAX_PATH - 1 ? MAX_PATH - 1 - folderLength : 0;
  std::size_t letters = 6;
  if (room >= 5 && room < 9) {
    letters = room;
  } else {
    prefix += ".tv";
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix + uniqueSuffix().substr(0, letters);
    HANDLE handle = ::CreateFileW(widePath(name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                  FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      // The target's attributes, as the POSIX layer gives the new file the old one's mode:
      // ReplaceFile keeps them on Windows itself, not on every system that provides it.
      DWORD attributes = target.exists ? ::GetFileAttributesW(widePath(target.path).c_str())
                                       : INVALID_FILE_ATTRIBUTES;
      if (attributes != INVALID_FILE_ATTRIBUTES) {
        attributes &= FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        ::SetFileAttributesW(widePath(name).c_str(),
                             attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
      }
      sibling = name;
      return reinterpret_cast<FileHandle>(handle);
    }
    DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
    fault = error == ERROR_ACCESS_DENIED ? FileFault::kNotPermitted : faultOf(error);
    return kInvalidFile;
  }
  fault = FileFault::kFailed;
  return kInvalidFile;
}

FileFault placeSibling(FileHandle& file, const std::string& sibling,
                       const ReplacementTarget& target) {
  if (!flushFile(file)) return faultOf(::GetLastError());
  if (FileFault changed = checkTargetUnchanged(target); changed != FileFault::kNone) {
    return changed;
  }
  // ReplaceFile opens the new file itself: it must be closed first.
  closeFile(file);
  file = kInvalidFile;
  BOOL placed;
  if (target.exists) {
    placed = ::ReplaceFileW(widePath(target.path).c_str(), widePath(sibling).c_str(), nullptr,
                            REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
  } else {
    // A new name only while nobody else has taken it.
    placed = ::MoveFileExW(widePath(sibling).c_str(), widePath(target.path).c_str(),
                           MOVEFILE_WRITE_THROUGH);
  }
  if (placed) return FileFault::kNone;
  DWORD error = ::GetLastError();
  // The contents stay at hand for a write in place.
  HANDLE again =
      ::CreateFileW(widePath(sibling).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (again != INVALID_HANDLE_VALUE) file = reinterpret_cast<FileHandle>(again);
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? FileFault::kChanged
                                                                     : faultOf(error);
}

void removeSibling(const std::string& sibling) {
  if (!sibling.empty()) ::DeleteFileW(widePath(sibling).c_str());
}

}  // namespace platform
