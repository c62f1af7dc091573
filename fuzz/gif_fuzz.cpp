// Fuzz target for the GIF reader from memory: any bytes, any frame index from 0 to 3, must load
// or fail without reading past the input or writing past the pixel block (ASan and UBSan watch).
// Messages are swallowed, so that no box is shown for every input.
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_services.h"
#include "library/image/gif_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::quietMessages();
  if (size < 1) return 0;
  // Screens of up to kMaxGifScreenPixels are valid but would spend the run zero-filling and
  // summing up to 256 MB; the fuzzer looks at screens of up to a million pixels, and at those
  // beyond the bound, which are refused before their block.
  if (size >= 11) {
    std::uint64_t pixels =
        static_cast<std::uint64_t>(data[7] | data[8] << 8) * (data[9] | data[10] << 8);
    if (pixels > (1u << 20) && pixels <= static_cast<std::uint64_t>(kMaxGifScreenPixels)) return 0;
  }
  // The first byte picks the frame; the rest is the file.
  GifImage image;
  int result = image.loadGifFromMemory(data + 1, size - 1, data[0] & 3);
  if (result == 1) {
    // Every pixel of the screen is readable, and the top-left one is what the export reads.
    volatile std::uint8_t sum = *image.pixelAddress(0, 0);
    for (std::int32_t i = 0; i < image.size; ++i) {
      sum = static_cast<std::uint8_t>(sum + image.pixels[i]);
    }
    if (image.reader.buffer != nullptr) std::abort();
  }
  return 0;
}
