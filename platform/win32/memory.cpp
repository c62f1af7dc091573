// Memory as Windows global memory: fixed blocks, so an address never moves while it is used.
#include <windows.h>

#include <atomic>

#include "platform/platform.h"

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

GlobalMemory global;
// Swapped by tests only, but read by every thread of the process.
std::atomic<MemoryService*> current{&global};

}  // namespace

MemoryService& memory() { return *current.load(); }

void setMemoryService(MemoryService* service) { current = service ? service : &global; }

}  // namespace platform
