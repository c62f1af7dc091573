// Memory as Windows global memory: fixed blocks, so an address never moves while it is used.
#include <windows.h>

#include "platform/common/services.h"

namespace platform {
namespace {

class GlobalMemory final : public MemoryService {
 public:
  void* allocate(std::size_t size, bool zeroFill) override {
    // A zero-size request still gives a distinct block.
    return ::GlobalAlloc(zeroFill ? GPTR : GMEM_FIXED, size == 0 ? 1 : size);
  }
  void* reallocate(void* block, std::size_t size) override {
    if (!block) return allocate(size, false);
    // GMEM_MOVEABLE lets a fixed block move to grow; the result is its new address.
    return ::GlobalReAlloc(block, size == 0 ? 1 : size, GMEM_MOVEABLE);
  }
  void release(void* block) override {
    if (block) ::GlobalFree(block);
  }
};

}  // namespace

MemoryService& systemMemory() {
  static GlobalMemory global;
  return global;
}

}  // namespace platform
