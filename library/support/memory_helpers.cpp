#include "library/support/memory_helpers.h"

#include "library/support/reporting.h"
#include "platform/platform.h"

namespace {

void* reportedIfNull(void* block) {
  if (!block) showError("Sorry, not enough memory");
  return block;
}

}  // namespace

void* allocZeroed(std::size_t size) {
  return reportedIfNull(platform::memory().allocate(size, true));
}

void* reallocBlock(void* block, std::size_t size) {
  if (!block) return allocZeroed(size);
  return reportedIfNull(platform::memory().reallocate(block, size));
}

void freeBlock(void* block) {
  if (block) platform::memory().release(block);
}

void* allocGlobalBlock(std::size_t size, std::uint32_t flags) {
  // Global memory is the heap here: blocks never move, so "movable" and "shareable" need nothing.
  bool zeroFill = (flags & 0xFFFF & kGlobalZeroFill) != 0;
  return reportedIfNull(platform::memory().allocate(size, zeroFill));
}

void freeGlobalBlock(void* block) {
  if (block) platform::memory().release(block);
}
