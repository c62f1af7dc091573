// The C runtime's low-level file operations for the cabinet writer's callbacks, file dates as
// local DOS date and time, file attributes, and temporary files.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace platform {

// The platform's runtime values are the ones the interface is written in.
static_assert(kRuntimeWriteOnly == _O_WRONLY && kRuntimeReadWrite == _O_RDWR);
static_assert(kRuntimeAppend == _O_APPEND && kRuntimeCreate == _O_CREAT);
static_assert(kRuntimeTruncate == _O_TRUNC && kRuntimeExclusive == _O_EXCL);
static_assert(kRuntimeBinary == _O_BINARY);
static_assert(kRuntimePermissionRead == _S_IREAD && kRuntimePermissionWrite == _S_IWRITE);

RuntimeFile runtimeOpen(const char* name, int flags, int mode, int& error) {
  // Always binary, and never inherited by a program started meanwhile.
  int descriptor = ::_wopen(win32::widePath(name).c_str(), flags | _O_BINARY | _O_NOINHERIT,
                            mode & (_S_IREAD | _S_IWRITE));
  if (descriptor < 0) {
    error = errno;
    return kInvalidRuntimeFile;
  }
  // Only files on a disk: "NUL", "CON" and the other device names open too.
  HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
  if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK) {
    ::_close(descriptor);
    error = EINVAL;
    return kInvalidRuntimeFile;
  }
  return descriptor;
}

std::int64_t runtimeRead(RuntimeFile file, void* destination, std::size_t count, int& error) {
  unsigned int asked = count < INT_MAX ? static_cast<unsigned int>(count) : INT_MAX;
  int got = ::_read(file, destination, asked);
  if (got < 0) error = errno;
  return got;
}

std::int64_t runtimeWrite(RuntimeFile file, const void* source, std::size_t count, int& error) {
  unsigned int asked = count < INT_MAX ? static_cast<unsigned int>(count) : INT_MAX;
  int written = ::_write(file, source, asked);
  if (written < 0) error = errno;
  return written;
}

int runtimeClose(RuntimeFile file, int& error) {
  if (::_close(file) == 0) return 0;
  error = errno;
  return -1;
}

std::int32_t runtimeSeek(RuntimeFile file, std::int32_t distance, int origin, int& error) {
  int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
  __int64 position = ::_lseeki64(file, distance, whence);
  if (position < 0) {
    error = errno;
    return -1;
  }
  if (position > INT32_MAX) {
    error = EINVAL;
    return -1;
  }
  return static_cast<std::int32_t>(position);
}

int runtimeRemove(const char* name, int& error) {
  if (::_wunlink(win32::widePath(name).c_str()) == 0) return 0;
  error = errno;
  return -1;
}

bool lastWriteDosDateTime(FileHandle file, std::uint16_t& date, std::uint16_t& time) {
  FILETIME written;
  FILETIME local;
  SYSTEMTIME parts;
  if (!::GetFileTime(reinterpret_cast<HANDLE>(file), nullptr, nullptr, &written) ||
      !::FileTimeToLocalFileTime(&written, &local) || !::FileTimeToSystemTime(&local, &parts)) {
    return false;
  }
  // The DOS format spans 1980 to 2107; outside it the nearest end is given.
  if (parts.wYear < 1980) {
    date = (1 << 5) | 1;
    time = 0;
    return true;
  }
  if (parts.wYear > 2107) {
    date = ((2107 - 1980) << 9) | (12 << 5) | 31;
    time = (23 << 11) | (59 << 5) | (58 / 2);
    return true;
  }
  WORD dosDate = 0;
  WORD dosTime = 0;
  if (!::FileTimeToDosDateTime(&local, &dosDate, &dosTime)) return false;
  date = dosDate;
  time = dosTime;
  return true;
}

bool fileAttributes(const char* name, std::uint32_t& attributes) {
  if (!name) return false;
  DWORD found = ::GetFileAttributesW(win32::widePath(name).c_str());
  if (found == INVALID_FILE_ATTRIBUTES) return false;
  // The platform's own bits are the interface's.
  attributes = found & (kAttributeReadOnly | kAttributeHidden | kAttributeSystem |
                        kAttributeDirectory | kAttributeArchive);
  return true;
}

bool createTempFile(const char* prefix, std::string& name) {
  wchar_t folder[MAX_PATH + 1];
  DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return false;
  // GetTempFileName finds a name that nobody has taken by creating the file. The system's
  // cabinet library then creates its temporary files itself, with exclusive create, so the name
  // is handed over free: should another program take it meanwhile, that create fails rather
  // than open the other program's file.
  wchar_t made[MAX_PATH + 1];
  if (::GetTempFileNameW(folder, win32::wide(prefix).c_str(), 0, made) == 0) return false;
  ::DeleteFileW(made);
  name = win32::utf8(made);
  return true;
}

}  // namespace platform
