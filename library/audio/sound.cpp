// The Sound object's life: an empty format record at construction, everything released at the
// end.
#include "library/audio/sound.h"

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
