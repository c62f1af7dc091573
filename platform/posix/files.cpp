// Files as POSIX descriptors. Names arrive as Latin-1 and reach the kernel as UTF-8, as the
// Windows "A" functions convert theirs from the ANSI code page.
// nativeName gives that UTF-8 form.
//
// Nothing here waits on what a name might turn out to be: every open is non-blocking until the
// descriptor has been seen to be an ordinary file (opening a FIFO for reading blocks until a
// writer comes, for writing until a reader does), and nothing here changes process-wide state
// such as the umask.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
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

// A fresh name's six characters from the time and the process.
std::string uniqueSuffix() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return uniqueNameSuffix(static_cast<std::uint64_t>(now.tv_nsec) ^
                              static_cast<std::uint64_t>(now.tv_sec) << 30 ^
                              static_cast<std::uint64_t>(::getpid()) << 20,
                          true);
}

std::string folderOf(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

std::string nativeName(const char* name) {
  std::string utf8;
  if (!name) return utf8;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
    if (*p < 0x80) {
      utf8 += static_cast<char>(*p);
    } else {
      utf8 += static_cast<char>(0xC0 | (*p >> 6));
      utf8 += static_cast<char>(0x80 | (*p & 0x3F));
    }
  }
  return utf8;
}

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

bool findReplacementTarget(const char* name, ReplacementTarget& target) {
  std::string path = nativeName(name);
  if (path.empty()) return false;
  // Each link is followed by hand, a relative one from the folder that holds it, so that a link
  // to a file not yet made still names where it is to be made.
  for (int links = 0;; ++links) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
      if (errno != ENOENT) return false;
      target.exists = false;
      break;
    }
    if (S_ISLNK(info.st_mode)) {
      if (links >= 40) return false;
      std::string content(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : PATH_MAX),
                          '\0');
      ssize_t length = ::readlink(path.c_str(), content.data(), content.size());
      if (length <= 0 || static_cast<std::size_t>(length) > content.size()) return false;
      content.resize(static_cast<std::size_t>(length));
      path = content[0] == '/' ? content : folderOf(path) + "/" + content;
      continue;
    }
    if (!S_ISREG(info.st_mode)) return false;
    // A file that may not be written is not overruled by a new one in its place.
    if (::access(path.c_str(), W_OK) != 0) return false;
    target.exists = true;
    break;
  }
  target.path = path;
  target.folder = folderOf(path);
  return true;
}

FileHandle createSibling(const ReplacementTarget& target, std::string& sibling, bool& refused) {
  refused = false;
  struct stat original {};
  bool adopt = target.exists && ::stat(target.path.c_str(), &original) == 0;
  // A short name, whatever the length of the target's own: "name" + suffix would not fit beside a
  // base name near the system's limit.
  const std::string prefix = (target.folder == "/" ? std::string() : target.folder) + "/.tv";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix + uniqueSuffix();
    int fd = retryOpen(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      refused = errno == EACCES || errno == EPERM;
      return kInvalidFile;
    }
    if (adopt) {
      // Owner and group where this process may give them (the group often, the owner only with
      // the privilege), then the permission bits: a change of owner clears set-id bits.
      if ((original.st_uid != ::geteuid() || original.st_gid != ::getegid()) &&
          ::fchown(fd, original.st_uid, original.st_gid) != 0) {
        if (::fchown(fd, static_cast<uid_t>(-1), original.st_gid) != 0) {
          // Left as this process's: the new file is its own.
        }
      }
      ::fchmod(fd, original.st_mode & 07777);
    }
    sibling = name;
    return fd;
  }
  return kInvalidFile;
}

bool flushFile(FileHandle file) {
  int result;
  do {
    result = ::fsync(static_cast<int>(file));
  } while (result != 0 && errno == EINTR);
  // A file system that cannot sync (a pipe-backed one, say) has nothing more to make durable.
  return result == 0 || errno == EINVAL || errno == EROFS;
}

bool moveSiblingInPlace(const std::string& sibling, const ReplacementTarget& target) {
  return ::rename(sibling.c_str(), target.path.c_str()) == 0;
}

void removeSibling(const std::string& sibling) {
  if (!sibling.empty()) ::unlink(sibling.c_str());
}

FileHandle openTargetInPlace(const ReplacementTarget& target) {
  if (!target.exists) return kInvalidFile;
  int fd = keepOrdinary(retryOpen(target.path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
  return fd < 0 ? kInvalidFile : fd;
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
