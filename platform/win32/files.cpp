// Files as Windows file handles. Names arrive in UTF-8 and reach the wide functions in UTF-16
// (wide_text.h).
//
// Every open checks that what it got is a file on a disk: a pipe, a console or another device
// is closed again and refused, as a directory is (CreateFile opens none of those in a way that
// waits). Files are opened with every share mode, as POSIX descriptors are, so that a file being
// read can still be replaced.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

using win32::widePath;

HANDLE handleOf(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// One request reads or writes at most this much: a DWORD count, kept clear of the sign bit so
// that the count returned is never mistaken for a failure.
constexpr std::size_t kLargestRequest = 0x7FFFF000;

DWORD requestSize(std::size_t count) {
  return static_cast<DWORD>(count < kLargestRequest ? count : kLargestRequest);
}

bool isOrdinaryFile(HANDLE handle) {
  if (::GetFileType(handle) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION information;
  return ::GetFileInformationByHandle(handle, &information) &&
         !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Keeps the handle only when it is an ordinary file.
FileHandle keepOrdinary(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return kInvalidFile;
  if (!isOrdinaryFile(handle)) {
    ::CloseHandle(handle);
    return kInvalidFile;
  }
  return reinterpret_cast<FileHandle>(handle);
}

}  // namespace

std::string nativeName(const char* name) { return name ? name : ""; }

FileHandle openFileForReading(const char* name) {
  if (!name || !*name) return kInvalidFile;
  return keepOrdinary(::CreateFileW(widePath(name).c_str(), GENERIC_READ, kShareAll, nullptr,
                                    OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

std::int64_t readFile(FileHandle file, void* destination, std::size_t count) {
  DWORD got = 0;
  if (::ReadFile(handleOf(file), destination, requestSize(count), &got, nullptr)) return got;
  return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
}

std::int64_t writeFile(FileHandle file, const void* source, std::size_t count) {
  DWORD written = 0;
  if (!::WriteFile(handleOf(file), source, requestSize(count), &written, nullptr)) return -1;
  return written;
}

std::int64_t readFileAt(FileHandle file, void* destination, std::size_t count,
                        std::uint64_t offset) {
  // A positioned read on a synchronous handle moves the file's position: it is put back after.
  LARGE_INTEGER zero{};
  LARGE_INTEGER position{};
  if (!::SetFilePointerEx(handleOf(file), zero, &position, FILE_CURRENT)) return -1;
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(offset);
  where.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  bool read = ::ReadFile(handleOf(file), destination, requestSize(count), &got, &where) != 0;
  bool atEnd = !read && ::GetLastError() == ERROR_HANDLE_EOF;
  ::SetFilePointerEx(handleOf(file), position, nullptr, FILE_BEGIN);
  if (read) return got;
  return atEnd ? 0 : -1;
}

std::int64_t seekFile(FileHandle file, std::int64_t distance, int origin) {
  DWORD method = origin == 1 ? FILE_CURRENT : origin == 2 ? FILE_END : FILE_BEGIN;
  LARGE_INTEGER move;
  move.QuadPart = distance;
  LARGE_INTEGER position{};
  if (!::SetFilePointerEx(handleOf(file), move, &position, method)) return -1;
  return position.QuadPart;
}

std::int64_t fileSize(FileHandle file) {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(handleOf(file), &size)) return -1;
  return size.QuadPart;
}

bool closeFile(FileHandle file) {
  if (file == kInvalidFile) return true;
  return ::CloseHandle(handleOf(file)) != 0;
}

bool removeFile(const char* name) { return name && ::DeleteFileW(widePath(name).c_str()) != 0; }

bool flushFile(FileHandle file) { return ::FlushFileBuffers(handleOf(file)) != 0; }

bool setFileLength(FileHandle file, std::uint64_t length) {
  if (length > static_cast<std::uint64_t>(INT64_MAX)) return false;
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(length);
  return ::SetFilePointerEx(handleOf(file), end, nullptr, FILE_BEGIN) &&
         ::SetEndOfFile(handleOf(file));
}

FileHandle createScratchFile() {
  // A file in the temporary folder that the system removes at the close, and keeps in memory
  // while it can (the temporary attribute).
  wchar_t folder[MAX_PATH + 1];
  DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return kInvalidFile;
  wchar_t name[MAX_PATH + 1];
  if (::GetTempFileNameW(folder, L"tvs", 0, name) == 0) return kInvalidFile;
  HANDLE handle =
      ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, TRUNCATE_EXISTING,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    ::DeleteFileW(name);
    return kInvalidFile;
  }
  return reinterpret_cast<FileHandle>(handle);
}

bool fileIdentity(FileHandle file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!::GetFileInformationByHandle(handleOf(file), &information)) return false;
  identity.device = information.dwVolumeSerialNumber;
  identity.file =
      (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  identity.size = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow);
  // Windows keeps no change time here: the last write stands for it.
  identity.changeSeconds = information.ftLastWriteTime.dwHighDateTime;
  identity.changeNanoseconds = information.ftLastWriteTime.dwLowDateTime;
  return true;
}

FileFault reserveFileSpace(FileHandle file, std::uint64_t length) {
  if (length > static_cast<std::uint64_t>(INT64_MAX)) return FileFault::kNoSpace;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(handleOf(file), &size) &&
      static_cast<std::uint64_t>(size.QuadPart) >= length) {
    return FileFault::kNone;
  }
  FILE_ALLOCATION_INFO allocation{};
  allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(length);
  if (::SetFileInformationByHandle(handleOf(file), FileAllocationInfo, &allocation,
                                   sizeof allocation)) {
    return FileFault::kNone;
  }
  DWORD error = ::GetLastError();
  return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? FileFault::kNoSpace
                                                                     : FileFault::kFailed;
}

FileHandle openTargetInPlace(ReplacementTarget& target) {
  if (!target.exists) return kInvalidFile;
  return keepOrdinary(::CreateFileW(widePath(target.path).c_str(), GENERIC_WRITE, kShareAll,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace platform
