// Files as POSIX descriptors. Names arrive as Latin-1 and reach the kernel as UTF-8, as the
// Windows "A" functions convert theirs from the ANSI code page.
// nativeName gives that UTF-8 form.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace platform {

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
  int fd = ::open(nativeName(name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kInvalidFile;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return kInvalidFile;
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

FileHandle createFile(const char* name) {
  int fd = ::open(nativeName(name).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd < 0 ? kInvalidFile : fd;
}

FileHandle createSiblingTempFile(const char* name, std::string& tempName) {
  std::string pattern = nativeName(name) + ".XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
  if (fd < 0) return kInvalidFile;
  // mkstemp makes the file private; give it the permissions an ordinary new file would get.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  // The name goes back to the caller in its own 8-bit form: the original Latin-1 name plus the
  // ASCII suffix that mkstemp chose.
  tempName = std::string(name) + (buffer.data() + pattern.size() - 7);
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

std::int64_t fileSize(FileHandle file) {
  struct stat info {};
  if (::fstat(static_cast<int>(file), &info) != 0) return -1;
  return info.st_size;
}

void closeFile(FileHandle file) {
  if (file >= 0) ::close(static_cast<int>(file));
}

bool removeFile(const char* name) { return ::unlink(nativeName(name).c_str()) == 0; }

bool replaceFile(const char* source, const char* target) {
  return ::rename(nativeName(source).c_str(), nativeName(target).c_str()) == 0;
}

}  // namespace platform
