// File views as read-only private mappings.
#include <sys/mman.h>

#include <limits>

#include "platform/platform.h"

namespace platform {

bool FileView::map(FileHandle file, std::uint64_t length) {
  release();
  if (length == 0 || length > std::numeric_limits<std::size_t>::max()) return false;
  void* base = ::mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_PRIVATE,
                      static_cast<int>(file), 0);
  if (base == MAP_FAILED) return false;
  // The bytes are read front to back once: the system may read ahead and drop what was read.
  ::madvise(base, static_cast<std::size_t>(length), MADV_SEQUENTIAL);
  bytes_ = static_cast<const std::uint8_t*>(base);
  length_ = static_cast<std::size_t>(length);
  return true;
}

void FileView::release() {
  if (bytes_) ::munmap(const_cast<std::uint8_t*>(bytes_), length_);
  bytes_ = nullptr;
  length_ = 0;
}

}  // namespace platform
