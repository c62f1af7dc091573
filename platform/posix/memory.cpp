// The heap: the C library's allocator.
#include <cstdlib>

#include "platform/common/services.h"

namespace platform {
namespace {

class Heap final : public MemoryService {
 public:
  void* allocate(std::size_t size, bool zeroFill) override {
    // A zero-size request still gives a distinct block, as the Windows heaps do.
    if (size == 0) size = 1;
    return zeroFill ? std::calloc(1, size) : std::malloc(size);
  }
  void* reallocate(void* block, std::size_t size) override {
    return std::realloc(block, size == 0 ? 1 : size);
  }
  void release(void* block) override { std::free(block); }
};

}  // namespace

MemoryService& systemMemory() {
  static Heap heap;
  return heap;
}

}  // namespace platform
