// The system's parts of replacing a file.
//
// Names are resolved by the kernel, never by hand: the target is opened as any program writing
// the name would open it (for writing, allowed to create, never cut), so the kernel's own
// protections (fs.protected_symlinks, fs.protected_regular) refuse exactly what they refuse
// there, and what is replaced is taken from the opened file: its identity and its final path.
//
// The new file is made in the target's folder with O_TMPFILE where the file system allows it:
// it has no name, so nobody can open it and a killed process leaves nothing, until it is linked
// in. It is linked straight to a new name (which fails if the name was taken meanwhile), or to
// a short hidden name and renamed over an existing target. Where O_TMPFILE is not supported the
// new file gets that hidden name from the start.
//
// Access is never widened: the new file is made with no more than the owner's bits of the
// target, then takes the target's owner and group, its access control list
// (system.posix_acl_access) and user.* attributes, and only then the target's full mode. Where
// the owner, the group, the access control list or an attribute cannot be kept, the new file is
// refused (kNotPermitted), and the writer writes over the target in place instead.
//
// The umask is never read or changed here: the kernel applies it (or the folder's default
// access control list) to every file it creates.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/common/unique_name.h"
#include "platform/platform.h"

namespace platform {
namespace {

constexpr char kAccessAcl[] = "system.posix_acl_access";

int retryOpenAt(int folder, const char* name, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::openat(folder, name, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

FileFault faultOf(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
      return FileFault::kNoSpace;
    case EACCES:
    case EPERM:
    case EROFS:
      return FileFault::kNotPermitted;
    case EXDEV:
    case EBUSY:  // a file mounted over the name
      return FileFault::kCrossDevice;
    default:
      return FileFault::kFailed;
  }
}

FileIdentity identityOf(const struct stat& info) {
  FileIdentity identity;
  identity.device = static_cast<std::uint64_t>(info.st_dev);
  identity.file = static_cast<std::uint64_t>(info.st_ino);
  identity.size = info.st_size;
  identity.changeSeconds = info.st_ctim.tv_sec;
  identity.changeNanoseconds = info.st_ctim.tv_nsec;
  return identity;
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

std::string baseOf(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string descriptorName(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// The path the kernel holds for an open file or folder; empty when it cannot tell (no /proc) or
// the file has lost its name meanwhile.
std::string openedPath(int fd) {
  char buffer[PATH_MAX + 1];
  ssize_t length = ::readlink(descriptorName(fd).c_str(), buffer, sizeof buffer);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer || buffer[0] != '/') {
    return {};
  }
  std::string path(buffer, static_cast<std::size_t>(length));
  if (path.size() > 10 && path.compare(path.size() - 10, 10, " (deleted)") == 0) return {};
  return path;
}

// The folder, open for syncing where this process may read it, else only as a place.
int openFolder(const std::string& folder) {
  int fd = retryOpenAt(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) fd = retryOpenAt(AT_FDCWD, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  return fd;
}

FileFault findNewName(const std::string& path, ReplacementTarget& target) {
  std::string base = baseOf(path);
  if (base.empty() || base == "." || base == "..") return FileFault::kRefused;
  int folder = openFolder(folderOf(path));
  if (folder < 0) return FileFault::kRefused;
  std::string resolved = openedPath(folder);
  if (resolved.empty()) resolved = folderOf(path);
  target.folder = resolved;
  target.path = (resolved == "/" ? "" : resolved) + "/" + base;
  target.folderHandle = folder;
  target.exists = false;
  return FileFault::kNone;
}

// Copies the access control list and the user.* attributes of `from` to `to`; false when one
// that `from` has cannot be given to `to`. An access control list that `to` got from its folder's
// default, where `from` has none, is taken away again.
bool copyAttributes(int from, int to) {
  std::vector<char> names(1024);
  ssize_t length;
  for (;;) {
    length = ::flistxattr(from, names.data(), names.size());
    if (length >= 0) break;
    if (errno == ENOTSUP) return true;  // a file system without attributes: nothing to keep
    if (errno != ERANGE) return false;
    ssize_t needed = ::flistxattr(from, nullptr, 0);
    if (needed < 0) return false;
    names.resize(static_cast<std::size_t>(needed) + 1);
  }
  bool hasAcl = false;
  std::vector<char> value;
  for (ssize_t at = 0; at < length;) {
    const char* name = names.data() + at;
    at += static_cast<ssize_t>(std::strlen(name)) + 1;
    bool acl = std::strcmp(name, kAccessAcl) == 0;
    if (!acl && std::strncmp(name, "user.", 5) != 0) continue;  // the system's own, or root's
    hasAcl = hasAcl || acl;
    ssize_t size = ::fgetxattr(from, name, nullptr, 0);
    if (size < 0) return false;
    value.resize(static_cast<std::size_t>(size) + 1);
    size = ::fgetxattr(from, name, value.data(), value.size());
    if (size < 0 || ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(size), 0) != 0) {
      return false;
    }
  }
  if (!hasAcl && ::fremovexattr(to, kAccessAcl) != 0 && errno != ENODATA && errno != ENOTSUP) {
    return false;
  }
  return true;
}

// Gives the new file what the target has, in the order that keeps it from ever having more:
// owner and group (which clear set-id bits), access control list and attributes, then the mode.
bool adoptAccess(int fd, int target, const struct stat& original) {
  if ((original.st_uid != ::geteuid() || original.st_gid != ::getegid()) &&
      ::fchown(fd, original.st_uid, original.st_gid) != 0) {
    return false;
  }
  return copyAttributes(target, fd) && ::fchmod(fd, original.st_mode & 07777) == 0;
}

int linkAnonymous(int fd, int folder, const char* name) {
  int result = ::linkat(AT_FDCWD, descriptorName(fd).c_str(), folder, name, AT_SYMLINK_FOLLOW);
  // Without /proc the file itself is named (which takes the privilege to do so).
  if (result != 0 && errno == ENOENT) result = ::linkat(fd, "", folder, name, AT_EMPTY_PATH);
  return result;
}

void syncFolder(int folder) {
  int result;
  do {
    result = ::fsync(folder);
  } while (result != 0 && errno == EINTR);
  // A folder open only as a place (EBADF), or one on a file system that cannot sync: nothing
  // more to make durable.
}

}  // namespace

bool fileIdentity(FileHandle file, FileIdentity& identity) {
  struct stat info {};
  if (::fstat(static_cast<int>(file), &info) != 0) return false;
  identity = identityOf(info);
  return true;
}

FileFault findReplacementTarget(const char* name, ReplacementTarget& target) {
  releaseReplacementTarget(target);
  target = ReplacementTarget{};
  std::string path = nativeName(name);
  if (path.empty()) return FileFault::kRefused;
  // First only as a place, which opens no device and waits on no pipe; the kernel follows the
  // links, with its protections.
  int place = retryOpenAt(AT_FDCWD, path.c_str(), O_PATH | O_CLOEXEC);
  if (place < 0) {
    if (errno != ENOENT) return FileFault::kRefused;
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
      return findNewName(path, target);
    }
    // A link to nothing: its file is made where the kernel makes it for a program that creates
    // the name, or nowhere when the kernel refuses to follow it. The empty file shows where; it
    // goes again at once and the replacement creates it anew.
    int made = retryOpenAt(AT_FDCWD, path.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (made >= 0) {  // the link went meanwhile and this is a plain new file: not ours to keep
      ::close(made);
      ::unlink(path.c_str());
      return FileFault::kChanged;
    }
    made = retryOpenAt(AT_FDCWD, path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0600);
    if (made < 0) return FileFault::kRefused;
    struct stat info {};
    std::string resolved = openedPath(made);
    bool fresh = ::fstat(made, &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0 &&
                 info.st_uid == ::geteuid() && !resolved.empty();
    if (fresh) ::unlink(resolved.c_str());
    ::close(made);
    return fresh ? findNewName(resolved, target) : FileFault::kChanged;
  }
  struct stat found {};
  if (::fstat(place, &found) != 0 || !S_ISREG(found.st_mode)) {
    ::close(place);
    return FileFault::kRefused;
  }
  ::close(place);
  // Then for writing, as a writer of the name opens it: the kernel's protection of files in
  // sticky folders applies only to an open that may create. The file exists, so nothing is made.
  int fd = retryOpenAt(AT_FDCWD, path.c_str(),
                       O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) return FileFault::kRefused;
  struct stat opened {};
  if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_dev != found.st_dev ||
      opened.st_ino != found.st_ino) {
    ::close(fd);
    return FileFault::kChanged;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::string resolved = openedPath(fd);
  if (resolved.empty()) {
    char real[PATH_MAX];
    if (!::realpath(path.c_str(), real)) {
      ::close(fd);
      return FileFault::kChanged;
    }
    resolved = real;
  }
  target.handle = fd;
  target.path = resolved;
  target.folder = folderOf(resolved);
  target.folderHandle = openFolder(target.folder);
  target.exists = true;
  target.linked = opened.st_nlink > 1;
  target.identity = identityOf(opened);
  if (target.folderHandle < 0) {
    releaseReplacementTarget(target);
    return FileFault::kRefused;
  }
  return FileFault::kNone;
}

void releaseReplacementTarget(ReplacementTarget& target) {
  if (target.handle != kInvalidFile) ::close(static_cast<int>(target.handle));
  if (target.folderHandle != kInvalidFile) ::close(static_cast<int>(target.folderHandle));
  target.handle = kInvalidFile;
  target.folderHandle = kInvalidFile;
}

FileHandle createSibling(const ReplacementTarget& target, std::string& sibling, FileFault& fault) {
  sibling.clear();
  fault = FileFault::kNone;
  const int folder = static_cast<int>(target.folderHandle);
  struct stat original {};
  bool adopt = target.exists;
  if (adopt && ::fstat(static_cast<int>(target.handle), &original) != 0) {
    fault = FileFault::kFailed;
    return kInvalidFile;
  }
  // Never more than the target's owner has until everything else is the target's too.
  const mode_t mode = adopt ? (original.st_mode & 0700) : 0666;
  // A file without a name is linked in through /proc; without it only the privileged could.
  static const bool linkable = ::access("/proc/self/fd", X_OK) == 0;
  int fd = linkable ? retryOpenAt(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode) : -1;
  if (!linkable) errno = EOPNOTSUPP;
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // No anonymous files here: a short hidden name, whatever the length of the target's own.
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
      std::string name = ".tv" + uniqueSuffix();
      fd = retryOpenAt(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                       mode);
      if (fd >= 0) {
        sibling = (target.folder == "/" ? std::string() : target.folder) + "/" + name;
      } else if (errno != EEXIST) {
        break;
      }
    }
  }
  if (fd < 0) {
    fault = faultOf(errno);
    return kInvalidFile;
  }
  if (adopt && !adoptAccess(fd, static_cast<int>(target.handle), original)) {
    // What this process may not give, the new file would lose: only writing in place keeps it.
    ::close(fd);
    removeSibling(sibling);
    sibling.clear();
    fault = FileFault::kNotPermitted;
    return kInvalidFile;
  }
  return fd;
}

FileFault checkTargetUnchanged(const ReplacementTarget& target) {
  struct stat now {};
  const std::string base = baseOf(target.path);
  int result =
      ::fstatat(static_cast<int>(target.folderHandle), base.c_str(), &now, AT_SYMLINK_NOFOLLOW);
  if (!target.exists) {
    return result != 0 && errno == ENOENT ? FileFault::kNone : FileFault::kChanged;
  }
  return result == 0 && identityOf(now) == target.identity ? FileFault::kNone : FileFault::kChanged;
}

FileFault placeSibling(FileHandle& file, const std::string& sibling,
                       const ReplacementTarget& target) {
  const int fd = static_cast<int>(file);
  const int folder = static_cast<int>(target.folderHandle);
  const std::string base = baseOf(target.path);
  // On the disk before the name moves to it, or a crash just after could leave the name with
  // neither the old contents nor the new ones.
  if (!flushFile(file)) return faultOf(errno);
  if (FileFault changed = checkTargetUnchanged(target); changed != FileFault::kNone) {
    return changed;
  }
  int result;
  if (!sibling.empty()) {
    const std::string name = baseOf(sibling);
    if (target.exists) {
      result = ::renameat(folder, name.c_str(), folder, base.c_str());
    } else {
      // A new name only while nobody else has taken it.
      result = ::renameat2(folder, name.c_str(), folder, base.c_str(), RENAME_NOREPLACE);
      if (result != 0 && errno == EINVAL &&
          (result = ::linkat(folder, name.c_str(), folder, base.c_str(), 0)) == 0) {
        ::unlinkat(folder, name.c_str(), 0);
      }
    }
  } else if (!target.exists) {
    result = linkAnonymous(fd, folder, base.c_str());
  } else {
    // Linked under a hidden name first, then renamed over the target in one step.
    std::string hidden;
    result = -1;
    for (int attempt = 0; attempt < 100; ++attempt) {
      hidden = ".tv" + uniqueSuffix();
      result = linkAnonymous(fd, folder, hidden.c_str());
      if (result == 0 || errno != EEXIST) break;
    }
    if (result == 0) {
      result = ::renameat(folder, hidden.c_str(), folder, base.c_str());
      if (result != 0) {
        int error = errno;
        ::unlinkat(folder, hidden.c_str(), 0);
        errno = error;
      }
    }
  }
  if (result != 0) return errno == EEXIST ? FileFault::kChanged : faultOf(errno);
  closeFile(file);
  file = kInvalidFile;
  syncFolder(folder);
  return FileFault::kNone;
}

void removeSibling(const std::string& sibling) {
  if (!sibling.empty()) ::unlink(sibling.c_str());
}

FileHandle openTargetInPlace(ReplacementTarget& target) {
  if (!target.exists) return kInvalidFile;
  FileHandle file = target.handle;
  target.handle = kInvalidFile;
  return file;
}

FileFault reserveFileSpace(FileHandle file, std::uint64_t length) {
  if (length == 0) return FileFault::kNone;
  if (length > static_cast<std::uint64_t>(LLONG_MAX)) return FileFault::kNoSpace;
  int result;
  do {
    result =
        ::fallocate(static_cast<int>(file), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length));
  } while (result != 0 && errno == EINTR);
  if (result == 0) return FileFault::kNone;
  if (errno == EOPNOTSUPP || errno == ENOSYS) {
    // Nothing can be reserved here: only a write within what the file already holds goes ahead.
    struct stat info {};
    bool within = ::fstat(static_cast<int>(file), &info) == 0 &&
                  static_cast<std::uint64_t>(info.st_size) >= length;
    return within ? FileFault::kNone : FileFault::kNoSpace;
  }
  return faultOf(errno);
}

}  // namespace platform
