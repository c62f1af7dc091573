// The Sound object's life: an empty format record at construction, both blocks freed at the end.
#include "library/audio/sound.h"

#include "library/support/memory_helpers.h"

Sound::Sound() : format(static_cast<WaveFormat*>(allocZeroed(sizeof(WaveFormat)))) {}

Sound::~Sound() {
  freeBlock(format);
  freeGlobalBlock(samples);
}

void Sound::replaceSamples(std::uint8_t* newSamples, std::int32_t newLength) {
  freeGlobalBlock(samples);
  samples = newSamples;
  dataLength = newLength;
}
