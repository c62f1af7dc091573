// Fuzz target for the readers that take a path: the bytes are written to a real file, which the
// GIF reader (signature read first, then the whole file) and the WAV reader (chunks walked with
// seeks, large data left in the file and read by the resampling a chunk at a time) then read,
// the sound going on through both conversions and into µ-law codes. The first byte picks the
// GIF frame (bits 0-1) and, with bits 5 to 7 all set, extends the file with 1.5 MB of zeros
// (a hole), so that a data chunk running to the end of the file is large enough to stay in it.
// Messages are swallowed; allocations above 4 MB fail, so that resampling the large data up
// eightfold takes the out-of-memory path rather than filling 12 MB on every such run.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_services.h"
#include "library/audio/sound.h"
#include "library/image/gif_image.h"
#include "platform/platform.h"

namespace {

// One file per process, in the temporary folder, removed at exit. The name is kept in a plain
// array: a std::string would be destroyed before the exit handler registered while it was being
// made, and the file would stay behind.
char gInputPath[4096];

const char* inputPath() {
  if (gInputPath[0] == '\0') {
    const std::string name = (std::filesystem::temp_directory_path() /
                              ("tavolin-fuzz-" + std::to_string(::getpid()) + ".bin"))
                                 .string();
    if (name.size() >= sizeof gInputPath) std::abort();
    std::memcpy(gInputPath, name.c_str(), name.size() + 1);
    std::atexit([] { std::remove(gInputPath); });
  }
  return gInputPath;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::quietMessages();
  fuzzing::capMemory(4u << 20);
  if (size < 1) return 0;
  const char* path = inputPath();
  std::FILE* out = std::fopen(path, "wb");
  if (!out) std::abort();
  if (size > 1 && std::fwrite(data + 1, 1, size - 1, out) != size - 1) std::abort();
  std::fclose(out);
  if ((data[0] & 0xE0) == 0xE0) std::filesystem::resize_file(path, size - 1 + (3u << 19));

  // The GIF screen is bounded as in the GIF target, for the same reason.
  const std::uint64_t pixels =
      size < 11 ? 0
                : static_cast<std::uint64_t>(data[7] | data[8] << 8) * (data[9] | data[10] << 8);
  const bool smallScreen =
      pixels <= (1u << 18) || pixels > static_cast<std::uint64_t>(kMaxGifScreenPixels);
  if (smallScreen) {
    GifImage image;
    if (image.loadGif(path, data[0] & 3) == 1) {
      volatile std::uint8_t corner = *image.pixelAddress(0, 0);
      (void)corner;
      if (image.reader.buffer != nullptr) std::abort();
    }
  }

  Sound sound;
  if (sound.loadWav(path) != 1) {
    if (sound.hasSamples()) std::abort();
    return 0;
  }
  if (sound.setChannels(1) && sound.setSampleRate(kAuSampleRate) && sound.holdSamplesInMemory()) {
    volatile std::uint32_t sum = 0;
    std::uint8_t codes[256];
    for (std::int32_t i = 0; i < sound.frameCount; i += 256) {
      const std::int32_t count = sound.frameCount - i < 256 ? sound.frameCount - i : 256;
      sound.encodeMuLaw(i, count, codes);
      sum = sum + codes[count - 1];
    }
  }
  return 0;
}
