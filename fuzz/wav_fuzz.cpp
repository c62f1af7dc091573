// Fuzz target for the WAV reader from memory and the conversions and the encoder after it: any
// bytes must load or fail without reading past the input, and a loaded sound must go through both
// conversions and into µ-law codes with every sample byte initialised and in bounds (ASan and
// UBSan watch). Messages are swallowed. The data never runs past the input, so no block is larger
// than a few times the input (resampling 1000 Hz up to 8012 Hz); allocations above 1 MB fail, so
// that a format record or a resampling that asks for more takes the out-of-memory path at once
// instead of zero-filling memory on every run.
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_services.h"
#include "library/audio/sound.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::quietMessages();
  fuzzing::capMemory(1u << 20);

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
    // The whole of the last frame lies in the samples; the writer's codes read the first
    // sample of every frame.
    volatile std::uint32_t sum = 0;
    if (sound.frameCount > 0) {
      const std::uint8_t* last = sound.frame(sound.frameCount - 1);
      sum = sum + last[0] + last[sound.format->blockAlign - 1];
    }
    if (sound.format->channels != 1 && sound.format->channels != 0) std::abort();
    // The writer's codes of every frame.
    std::uint8_t codes[256];
    for (std::int32_t i = 0; i < sound.frameCount; i += 256) {
      const std::int32_t count = sound.frameCount - i < 256 ? sound.frameCount - i : 256;
      sound.encodeMuLaw(i, count, codes);
      sum = sum + codes[count - 1];
    }
  }
  return 0;
}
