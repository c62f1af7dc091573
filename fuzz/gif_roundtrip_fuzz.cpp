// Fuzz target for the GIF writer against the reader: whatever picture the reader accepts from any
// bytes, the writer writes (into a file held in memory), and that file reads back to the same
// screen, the same colours of every index in use and the same transparency. The first byte picks
// the frame; the rest is the file. Messages are swallowed.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_services.h"
#include "library/image/gif_image.h"
#include "platform/platform.h"

namespace {

// The file's bytes as the writer left them.
std::vector<std::uint8_t> contents(platform::FileHandle file) {
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[65536];
  for (std::uint64_t offset = 0;;) {
    std::int64_t got = platform::readFileAt(file, chunk, sizeof chunk, offset);
    if (got < 0) std::abort();
    if (got == 0) return bytes;
    bytes.insert(bytes.end(), chunk, chunk + got);
    offset += static_cast<std::uint64_t>(got);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::quietMessages();
  if (size < 1) return 0;
  // The writer encodes the whole screen; a quarter of a million pixels keep a run short and
  // are plenty for the encoder's table to fill and be cleared many times.
  if (size >= 11) {
    std::uint32_t width = data[7] | data[8] << 8;
    std::uint32_t height = data[9] | data[10] << 8;
    if (static_cast<std::uint64_t>(width) * height > (1u << 18)) return 0;
  }
  GifImage original;
  if (original.loadGifFromMemory(data + 1, size - 1, data[0] & 3) != 1) return 0;

  platform::FileHandle file = platform::createScratchFile();
  if (file == platform::kInvalidFile) std::abort();
  if (!original.writeGif(file)) std::abort();
  const std::vector<std::uint8_t> written = contents(file);
  platform::closeFile(file);

  GifImage copy;
  if (copy.loadGifFromMemory(written.data(), written.size(), 0) != 1) std::abort();
  if (copy.width != original.width || copy.height != original.height) std::abort();
  for (std::int32_t y = 0; y < original.height; ++y) {
    if (std::memcmp(copy.pixelAddress(0, y), original.pixelAddress(0, y),
                    static_cast<std::size_t>(original.width)) != 0) {
      std::abort();
    }
  }
  // The colour table holds every index up to the highest power of two in use.
  const std::int32_t entries = 2 << (copy.header.packed & 7);
  if (std::memcmp(copy.palette, original.palette, static_cast<std::size_t>(3 * entries)) != 0) {
    std::abort();
  }
  if (copy.transparentSet != original.transparentSet) std::abort();
  if (original.transparentSet == 1 && copy.transparentIndex != original.transparentIndex) {
    std::abort();
  }
  return 0;
}
