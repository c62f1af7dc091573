// No file views on Windows: a mapped file that another program shortens would end this one, so
// every reader copies what it reads.
#include "platform/platform.h"

namespace platform {

bool FileView::map(FileHandle, std::uint64_t) {
  release();
  return false;
}

void FileView::release() {
  bytes_ = nullptr;
  length_ = 0;
}

}  // namespace platform
