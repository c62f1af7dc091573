// Fuzz target for the WAV reader from memory and the conversions after it: any bytes must load
// or fail without reading past the input, and a loaded sound must go through both conversions
// with every sample byte initialised and in bounds (ASan and UBSan watch). Messages are
// swallowed, and allocations above 64 MB fail, so that a declared length of gigabytes takes the
// out-of-memory path instead of ending the run.
#include <cstdint>
#include <cstdlib>

#include "library/audio/sound.h"
#include "platform/testing/platform_testing.h"

namespace {

class QuietMessages final : public platform::MessageService {
 public:
  void showError(const char*, const char*) override {}
  void trace(const char*) override {}
};

class SmallMemory final : public platform::MemoryService {
 public:
  explicit SmallMemory(platform::MemoryService& real) : real_(real) {}
  void* allocate(std::size_t size, bool zeroFill) override {
    return size > kLimit ? nullptr : real_.allocate(size, zeroFill);
  }
  void* reallocate(void* block, std::size_t size) override {
    return size > kLimit ? nullptr : real_.reallocate(block, size);
  }
  void release(void* block) override { real_.release(block); }

 private:
  static constexpr std::size_t kLimit = 64u << 20;
  platform::MemoryService& real_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static QuietMessages quiet;
  static SmallMemory memory(platform::memory());
  platform::setMessageService(&quiet);
  platform::setMemoryService(&memory);

  Sound sound;
  if (sound.loadWavFromMemory(data, size) != 1) {
    if (sound.samples != nullptr) std::abort();
    return 0;
  }
  if (sound.frameCount < 0 || sound.frameStride != sound.format->blockAlign ||
      static_cast<std::int64_t>(sound.frameCount) * sound.format->blockAlign > sound.dataLength) {
    std::abort();
  }
  if (sound.setChannels(1) && sound.setSampleRate(kAuSampleRate)) {
    // Every byte the writer would read: the first sample of each frame.
    volatile std::uint32_t sum = 0;
    const std::uint32_t width = sound.format->bitsPerSample == 8 ? 1 : 2;
    for (std::int32_t i = 0; i < sound.frameCount; ++i) {
      const std::uint8_t* frame = sound.frame(i);
      for (std::uint32_t b = 0; b < width; ++b) sum = sum + frame[b];
      sum = sum + linearToMuLaw(static_cast<std::int16_t>(frame[0] << 8));
    }
    if (sound.format->channels != 1 && sound.format->channels != 0) std::abort();
  }
  return 0;
}
