// Files as Windows file handles. Names are 8-bit text in the ANSI code page, which the "A"
// functions take as it is.
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

namespace platform {
namespace {

HANDLE handleOf(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle fileOf(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(handle);
}

// One request reads or writes at most this much: a DWORD count, kept clear of the sign bit so
// that the count returned is never mistaken for a failure.
constexpr std::size_t kLargestRequest = 0x7FFFF000;

}  // namespace

std::string nativeName(const char* name) { return name ? name : ""; }

FileHandle openFileForReading(const char* name) {
  return fileOf(::CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

FileHandle createFile(const char* name) {
  return fileOf(::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle createSiblingTempFile(const char* name, std::string& tempName) {
  // A fresh name beside the target, created only if nobody has it (CREATE_NEW): a name that is
  // taken is never opened, it is passed over for the next one.
  static volatile LONG counter = 0;
  DWORD seed = ::GetCurrentProcessId() * 2654435761u ^ ::GetTickCount();
  for (int attempt = 0; attempt < 100; ++attempt) {
    DWORD unique = seed + static_cast<DWORD>(::InterlockedIncrement(&counter)) * 40503u;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%06lx", static_cast<unsigned long>(unique & 0xFFFFFF));
    std::string candidate = std::string(name) + suffix;
    HANDLE handle = ::CreateFileA(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      tempName = candidate;
      return fileOf(handle);
    }
    DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return kInvalidFile;
}

std::int64_t readFile(FileHandle file, void* destination, std::size_t count) {
  DWORD got = 0;
  DWORD asked = static_cast<DWORD>(count < kLargestRequest ? count : kLargestRequest);
  if (::ReadFile(handleOf(file), destination, asked, &got, nullptr)) return got;
  // The far end of a pipe has closed: the end of the data, as on a file.
  return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

std::int64_t writeFile(FileHandle file, const void* source, std::size_t count) {
  DWORD written = 0;
  DWORD asked = static_cast<DWORD>(count < kLargestRequest ? count : kLargestRequest);
  if (!::WriteFile(handleOf(file), source, asked, &written, nullptr)) return -1;
  return written;
}

std::int64_t fileSize(FileHandle file) {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(handleOf(file), &size)) return -1;
  return size.QuadPart;
}

void closeFile(FileHandle file) {
  if (file != kInvalidFile && file != 0) ::CloseHandle(handleOf(file));
}

bool removeFile(const char* name) { return ::DeleteFileA(name) != 0; }

}  // namespace platform
