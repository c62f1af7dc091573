// The heap behind every allocation of the system.
#pragma once

#include <cstddef>

namespace platform {

// The heap behind every allocation of the system. Tests swap it for one that fails on demand.
class MemoryService {
 public:
  virtual ~MemoryService() = default;
  // A block of `size` bytes, zero-filled when asked; null when none is available.
  virtual void* allocate(std::size_t size, bool zeroFill) = 0;
  // The block resized, its first bytes kept, new bytes undefined; null on failure (the old block
  // then stays valid). A null block behaves as allocate without zero fill.
  virtual void* reallocate(void* block, std::size_t size) = 0;
  virtual void release(void* block) = 0;
};

MemoryService& memory();

}  // namespace platform
