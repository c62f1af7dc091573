// The Sound object's life: an empty format record at construction, everything released at the
// end.
#include "library/audio/sound.h"

#include <cstring>

#include "library/support/memory_helpers.h"

Sound::Sound() : format(static_cast<WaveFormat*>(allocZeroed(sizeof(WaveFormat)))) {}

Sound::~Sound() {
  freeBlock(format);
  releaseSamples();
}

void Sound::releaseSamples() {
  freeGlobalBlock(block_);
  block_ = nullptr;
  view_.release();
  samples = nullptr;
}

void Sound::adoptBlock(std::uint8_t* block, std::int32_t length, std::int32_t frameBytes) {
  releaseSamples();
  block_ = block;
  samples = block;
  dataLength = length;
  frameStride = frameBytes;
}

bool Sound::holdSamplesInMemory() {
  if (!view_.bytes()) return true;
  const std::int32_t block = format->blockAlign;
  auto* copy = static_cast<std::uint8_t*>(allocGlobalBlock(
      static_cast<std::size_t>(frameCount) * static_cast<std::size_t>(block), kGlobalMovable));
  if (!copy) return false;
  for (std::int32_t i = 0; i < frameCount; ++i) {
    std::memcpy(copy + static_cast<std::int64_t>(i) * block, frame(i), block);
  }
  const std::int32_t length = dataLength;
  adoptBlock(copy, length, block);
  return true;
}
