// The services every fuzz target runs under: messages swallowed, and a heap that refuses blocks
// above a cap, so that a file asking for more takes the out-of-memory path at once instead of
// zero-filling memory on every run.
#pragma once

#include <cstddef>

#include "platform/platform.h"
#include "platform/testing/platform_testing.h"

namespace fuzzing {

class QuietMessages final : public platform::MessageService {
 public:
  void showError(const char*, const char*) override {}
  void trace(const char*) override {}
};

class CappedMemory final : public platform::MemoryService {
 public:
  CappedMemory(platform::MemoryService& real, std::size_t limit) : real_(real), limit_(limit) {}
  void* allocate(std::size_t size, bool zeroFill) override {
    return size > limit_ ? nullptr : real_.allocate(size, zeroFill);
  }
  void* reallocate(void* block, std::size_t size) override {
    return size > limit_ ? nullptr : real_.reallocate(block, size);
  }
  void release(void* block) override { real_.release(block); }

 private:
  platform::MemoryService& real_;
  std::size_t limit_;
};

// Swallows the messages of the whole run.
inline void quietMessages() {
  static QuietMessages quiet;
  platform::setMessageService(&quiet);
}

// Installs the cap for the whole run (the first call's limit holds).
inline void capMemory(std::size_t limit) {
  static CappedMemory memory(platform::memory(), limit);
  platform::setMemoryService(&memory);
}

}  // namespace fuzzing
