#include "library/support/memory_helpers.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fakes/recording_services.h"
#include "library/support/reporting.h"

namespace {

const std::vector<ShownMessage> kNotEnoughMemory{{"Error", "Sorry, not enough memory"}};

TEST(MemoryHelpers, AllocZeroedIsZero) {
  auto* block = static_cast<unsigned char*>(allocZeroed(64));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(block[i], 0);
  freeBlock(block);
}

TEST(MemoryHelpers, ReallocOfNullIsZeroFilled) {
  auto* block = static_cast<unsigned char*>(reallocBlock(nullptr, 32));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(block[i], 0);
  std::memcpy(block, "keep", 4);
  block = static_cast<unsigned char*>(reallocBlock(block, 4096));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::memcmp(block, "keep", 4), 0);
  freeBlock(block);
}

TEST(MemoryHelpers, GlobalZeroFillFlag) {
  auto* block = static_cast<unsigned char*>(allocGlobalBlock(128, 0x2042));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 128; ++i) EXPECT_EQ(block[i], 0);
  freeGlobalBlock(block);
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
  freeBlock(nullptr);
  freeGlobalBlock(nullptr);
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
