// Recording fakes for the platform services that tests cannot observe for real: message boxes,
// diagnostic traces and allocation failures. Installed for the life of the object.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/testing/platform_testing.h"

struct ShownMessage {
  std::string caption;
  std::string text;
  bool operator==(const ShownMessage& other) const {
    return caption == other.caption && text == other.text;
  }
};

class RecordingMessages final : public platform::MessageService {
 public:
  RecordingMessages() { platform::setMessageService(this); }
  ~RecordingMessages() override { platform::setMessageService(nullptr); }
  void showError(const char* caption, const char* text) override {
    shown.push_back({caption, text});
  }
  void trace(const char* text) override { traced.emplace_back(text); }

  std::vector<ShownMessage> shown;
  std::vector<std::string> traced;
};

// The heap, except that allocations fail once `failFrom` of them have been made (counting from
// 0), or any allocation larger than `failAbove` bytes.
class FailingMemory final : public platform::MemoryService {
 public:
  explicit FailingMemory(std::size_t failFrom = 0, std::size_t failAbove = SIZE_MAX)
      : failFrom_(failFrom), failAbove_(failAbove), real_(platform::memory()) {
    platform::setMemoryService(this);
  }
  ~FailingMemory() override { platform::setMemoryService(nullptr); }
  void* allocate(std::size_t size, bool zeroFill) override {
    if (fails(size)) return nullptr;
    return real_.allocate(size, zeroFill);
  }
  void* reallocate(void* block, std::size_t size) override {
    if (fails(size)) return nullptr;
    return real_.reallocate(block, size);
  }
  void release(void* block) override { real_.release(block); }

 private:
  bool fails(std::size_t size) { return calls_++ >= failFrom_ || size > failAbove_; }
  std::size_t failFrom_;
  std::size_t failAbove_;
  std::size_t calls_ = 0;
  platform::MemoryService& real_;
};
