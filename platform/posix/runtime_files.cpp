// Runtime-style file operations, file dates and attributes, and temporary files.
//
// POSIX keeps no attribute bits: a file is read-only when its owner may not write it, hidden when
// its name starts with "."; archive for every file that is not a directory (nothing here
// records backups, so every file counts as changed since the last one); system never.
// Temporary files are made in $TMPDIR when it is an absolute ASCII path, else /tmp, with
// mkstemp: the cabinet writer module opens them without O_EXCL, so the file is created here.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

namespace platform {
namespace {

int posixFlags(int flags) {
  int result = O_CLOEXEC;
  switch (flags & 0x3) {
    case kRuntimeWriteOnly:
      result |= O_WRONLY;
      break;
    case kRuntimeReadWrite:
      result |= O_RDWR;
      break;
    default:
      result |= O_RDONLY;
      break;
  }
  if (flags & kRuntimeAppend) result |= O_APPEND;
  if (flags & kRuntimeCreate) result |= O_CREAT;
  if (flags & kRuntimeTruncate) result |= O_TRUNC;
  if (flags & kRuntimeExclusive) result |= O_EXCL;
  return result;
}

// The runtime's modes grant read (always, on the original platform) and write to everybody; the
// process's umask narrows them as for any new file.
mode_t posixMode(int mode) { return (mode & kRuntimePermissionWrite) ? 0666 : 0444; }

}  // namespace

RuntimeFile runtimeOpen(const char* name, int flags, int mode, int& error) {
  // Non-blocking until the descriptor is known to be an ordinary file: a FIFO would otherwise
  // hold the open until its other end comes.
  int fd;
  do {
    fd = ::open(nativeName(name).c_str(), posixFlags(flags) | O_NONBLOCK, posixMode(mode));
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = errno;
    return kInvalidRuntimeFile;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    error = EINVAL;
    return kInvalidRuntimeFile;
  }
  int status = ::fcntl(fd, F_GETFL);
  if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  return fd;
}

std::int64_t runtimeRead(RuntimeFile file, void* destination, std::size_t count, int& error) {
  ssize_t got;
  do {
    got = ::read(file, destination, count);
  } while (got < 0 && errno == EINTR);
  if (got < 0) error = errno;
  return got;
}

std::int64_t runtimeWrite(RuntimeFile file, const void* source, std::size_t count, int& error) {
  ssize_t written;
  do {
    written = ::write(file, source, count);
  } while (written < 0 && errno == EINTR);
  if (written < 0) error = errno;
  return written;
}

int runtimeClose(RuntimeFile file, int& error) {
  if (::close(file) == 0) return 0;
  error = errno;
  return -1;
}

std::int32_t runtimeSeek(RuntimeFile file, std::int32_t distance, int origin, int& error) {
  int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
  off_t position = ::lseek(file, distance, whence);
  if (position < 0) {
    error = errno;
    return -1;
  }
  if (position > INT32_MAX) {
    error = EOVERFLOW;
    return -1;
  }
  return static_cast<std::int32_t>(position);
}

int runtimeRemove(const char* name, int& error) {
  if (::unlink(nativeName(name).c_str()) == 0) return 0;
  error = errno;
  return -1;
}

bool lastWriteDosDateTime(FileHandle file, std::uint16_t& date, std::uint16_t& time) {
  struct stat info {};
  if (::fstat(static_cast<int>(file), &info) != 0) return false;
  std::tm local{};
  time_t seconds = info.st_mtim.tv_sec;
  if (!::localtime_r(&seconds, &local)) local = std::tm{};
  int year = local.tm_year + 1900;
  if (year < 1980) {
    local = std::tm{};
    local.tm_mday = 1;
    year = 1980;
  } else if (year > 2107) {
    local = std::tm{};
    local.tm_mon = 11;
    local.tm_mday = 31;
    local.tm_hour = 23;
    local.tm_min = 59;
    local.tm_sec = 59;
    year = 2107;
  }
  int second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second
  date =
      static_cast<std::uint16_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  time = static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (second / 2));
  return true;
}

bool fileAttributes(const char* name, std::uint32_t& attributes) {
  struct stat info {};
  if (!name || ::stat(nativeName(name).c_str(), &info) != 0) return false;
  attributes = 0;
  if (!(info.st_mode & S_IWUSR)) attributes |= kAttributeReadOnly;
  const char* slash = std::strrchr(name, '/');
  const char* base = slash ? slash + 1 : name;
  if (base[0] == '.' && std::strcmp(base, ".") != 0 && std::strcmp(base, "..") != 0) {
    attributes |= kAttributeHidden;
  }
  attributes |= S_ISDIR(info.st_mode) ? kAttributeDirectory : kAttributeArchive;
  return true;
}

bool createTempFile(const char* prefix, std::string& name) {
  std::string folder = "/tmp";
  const char* configured = std::getenv("TMPDIR");
  if (configured && configured[0] == '/') {
    bool ascii = true;
    for (const char* c = configured; *c; ++c)
      ascii = ascii && static_cast<unsigned char>(*c) < 0x80;
    if (ascii) folder = configured;
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  std::string pattern = folder + (folder == "/" ? "" : "/") + nativeName(prefix) + "XXXXXX";
  int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  name = pattern;
  return true;
}

}  // namespace platform
