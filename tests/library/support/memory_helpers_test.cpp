#include "library/support/memory_helpers.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fakes/recording_services.h"
#include "library/support/reporting.h"

namespace {

const std::vector<ShownMessage> kNotEnoughMemory{{"Error", "Sorry, not enough memory"}};

// The heap, except that a block not asked to be zero-filled comes filled with 0xAA (so a missing
// zero fill shows), and every request and release is counted.
class DirtyMemory final : public platform::MemoryService {
 public:
  DirtyMemory() : real_(platform::memory()) { platform::setMemoryService(this); }
  ~DirtyMemory() override { platform::setMemoryService(nullptr); }
  void* allocate(std::size_t size, bool zeroFill) override {
    ++allocations;
    void* block = real_.allocate(size, zeroFill);
    if (block && !zeroFill) std::memset(block, 0xAA, size);
    return block;
  }
  void* reallocate(void* block, std::size_t size) override { return real_.reallocate(block, size); }
  void release(void* block) override {
    ++releases;
    real_.release(block);
  }
  int allocations = 0;
  int releases = 0;

 private:
  platform::MemoryService& real_;
};

bool allZero(const void* block, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(block);
  for (std::size_t i = 0; i < size; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

TEST(MemoryHelpers, AllocZeroedIsZero) {
  DirtyMemory memory;
  auto* block = static_cast<unsigned char*>(allocZeroed(64));
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(allZero(block, 64));
  freeBlock(block);
}

TEST(MemoryHelpers, ReallocOfNullIsZeroFilled) {
  DirtyMemory memory;
  auto* block = static_cast<unsigned char*>(reallocBlock(nullptr, 32));
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(allZero(block, 32));
  std::memcpy(block, "keep", 4);
  block = static_cast<unsigned char*>(reallocBlock(block, 4096));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::memcmp(block, "keep", 4), 0);
  freeBlock(block);
}

// Only the zero-fill bit (0x40) of the low 16 bits asks for zeros; movable, shareable and the
// high bits do not.
TEST(MemoryHelpers, GlobalZeroFillFlag) {
  const std::vector<std::pair<std::uint32_t, bool>> cases = {
      {0x0042, true},  {0x2042, true},    {0x0040, true},   {0x0002, false},
      {0x2002, false}, {0x400000, false}, {0x400002, false}};
  for (const auto& [flags, zeroed] : cases) {
    SCOPED_TRACE(flags);
    DirtyMemory memory;
    auto* block = static_cast<unsigned char*>(allocGlobalBlock(128, flags));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(allZero(block, 128), zeroed);
    freeGlobalBlock(block);
  }
}

// Every allocation outlet shows the same message when the heap has nothing left.
TEST(MemoryHelpers, AllocationFailureShowsNotEnoughMemory) {
  struct Case {
    const char* name;
    void* (*allocate)();
  };
  const Case cases[] = {
      {"allocZeroed", [] { return allocZeroed(16); }},
      {"reallocBlock(null)", [] { return reallocBlock(nullptr, 16); }},
      {"allocGlobalBlock", [] { return allocGlobalBlock(16, kGlobalMovable); }},
      {"allocGlobalBlock zeroed", [] { return allocGlobalBlock(16, 0x42); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingMessages messages;
    FailingMemory memory;
    EXPECT_EQ(c.allocate(), nullptr);
    EXPECT_EQ(messages.shown, kNotEnoughMemory);
  }
}

TEST(MemoryHelpers, FailedReallocKeepsTheOldBlock) {
  auto* block = static_cast<char*>(allocZeroed(8));
  std::memcpy(block, "old", 4);
  {
    RecordingMessages messages;
    FailingMemory memory;
    EXPECT_EQ(reallocBlock(block, 1 << 20), nullptr);
    EXPECT_EQ(messages.shown, kNotEnoughMemory);
  }
  EXPECT_STREQ(block, "old");
  freeBlock(block);
}

TEST(MemoryHelpers, FreeingNullDoesNothing) {
  RecordingMessages messages;
  DirtyMemory memory;
  freeBlock(nullptr);
  freeGlobalBlock(nullptr);
  EXPECT_EQ(memory.releases, 0);
  EXPECT_TRUE(messages.shown.empty());
}

TEST(Reporting, ShowErrorUsesTheErrorCaptionAndTraceShowsNothing) {
  RecordingMessages messages;
  showError("GIF requires 256 color format");
  traceMessage("Bad format: ", "x.wav");
  EXPECT_EQ(messages.shown,
            (std::vector<ShownMessage>{{"Error", "GIF requires 256 color format"}}));
  EXPECT_EQ(messages.traced, std::vector<std::string>{"Bad format: x.wav"});
}

}  // namespace
