// Files as POSIX descriptors. Names arrive in UTF-8 and reach the kernel as they are.
//
// Nothing here waits on what a name might turn out to be: every open is non-blocking until the
// descriptor has been seen to be an ordinary file (opening a FIFO for reading blocks until a
// writer comes, for writing until a reader does), and nothing here changes process-wide state
// such as the umask.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/common/unique_name.h"
#include "platform/platform.h"

namespace platform {
namespace {

int retryOpen(const char* name, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(name, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Keeps `fd` only when it is an ordinary file, and makes it blocking again (ordinary files never
// block, but the descriptor should say what it is). -1, with errno set, otherwise.
int keepOrdinary(int fd) {
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

}  // namespace

std::string nativeName(const char* name) { return name ? name : ""; }

FileHandle openFileForReading(const char* name) {
  int fd = keepOrdinary(retryOpen(nativeName(name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd < 0) return kInvalidFile;
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

std::int64_t readFile(FileHandle file, void* destination, std::size_t count) {
  ssize_t got;
  do {
    got = ::read(static_cast<int>(file), destination, count);
  } while (got < 0 && errno == EINTR);
  return got;
}

std::int64_t writeFile(FileHandle file, const void* source, std::size_t count) {
  ssize_t written;
  do {
    written = ::write(static_cast<int>(file), source, count);
  } while (written < 0 && errno == EINTR);
  return written;
}

std::int64_t readFileAt(FileHandle file, void* destination, std::size_t count,
                        std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(LLONG_MAX)) return -1;
  ssize_t got;
  do {
    got = ::pread(static_cast<int>(file), destination, count, static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  return got;
}

std::int64_t seekFile(FileHandle file, std::int64_t distance, int origin) {
  int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
  return ::lseek(static_cast<int>(file), static_cast<off_t>(distance), whence);
}

std::int64_t fileSize(FileHandle file) {
  struct stat info {};
  if (::fstat(static_cast<int>(file), &info) != 0) return -1;
  return info.st_size;
}

bool closeFile(FileHandle file) {
  if (file == kInvalidFile) return true;
  // A close interrupted by a signal has still released the descriptor: it is not repeated.
  return ::close(static_cast<int>(file)) == 0 || errno == EINTR;
}

bool removeFile(const char* name) { return ::unlink(nativeName(name).c_str()) == 0; }

bool flushFile(FileHandle file) {
  int result;
  do {
    result = ::fsync(static_cast<int>(file));
  } while (result != 0 && errno == EINTR);
  // A file system that cannot sync (a pipe-backed one, say) has nothing more to make durable.
  return result == 0 || errno == EINVAL || errno == EROFS;
}

bool setFileLength(FileHandle file, std::uint64_t length) {
  if (length > static_cast<std::uint64_t>(LLONG_MAX)) return false;
  int result;
  do {
    result = ::ftruncate(static_cast<int>(file), static_cast<off_t>(length));
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

FileHandle createScratchFile() {
  int fd = ::memfd_create("tavolin-scratch", MFD_CLOEXEC);
  return fd < 0 ? kInvalidFile : fd;
}

}  // namespace platform
