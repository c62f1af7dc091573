// The JPEG export against libjpeg-turbo alone, on a 4000 × 3000 photo-like picture.
//
// Export: Kestrilo_saveJPEG from a Java-style int array to a file (rows straight from the array,
// compression, 4096-byte writes). Library: the same parameters, compressing the same pixels from
// memory into memory, from three-byte rows and from the packed ints themselves. Reference: what
// the export cost when it first copied the picture into a fresh three-byte bitmap.
//
//   jpeg_bench [Google Benchmark options]
//   jpeg_bench --write-picture <file>   the picture as little-endian int32s, for the Java timing
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// jpeglib.h uses size_t and FILE without declaring them.
#include <jpeglib.h>

#include "library/exports/exports.h"
#include "library/image/bitmap.h"
#include "library/image/jpeg_writer.h"
#include "tests/fakes/test_string.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// Smooth shading, a few soft-edged discs and fine grain: the mix of flat areas, edges and noise
// that photographs have. Laid out as the boundary hands it over: header, then the elements.
const std::vector<std::int32_t>& photoArray() {
  static const std::vector<std::int32_t> array = [] {
    std::vector<std::int32_t> words(2 + static_cast<std::size_t>(kWidth) * kHeight);
    words[1] = kWidth * kHeight;
    std::uint32_t noise = 2024;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        double r = 128 + 90 * std::sin(x * 0.0021) * std::cos(y * 0.0017);
        double g = 110 + 80 * std::sin((x + y) * 0.0013);
        double b = 100 + 70 * std::cos(x * 0.0009 - y * 0.0025);
        for (int disc = 0; disc < 5; ++disc) {
          double dx = x - (600 + disc * 700), dy = y - (500 + disc * 450);
          if (dx * dx + dy * dy < 250.0 * 250.0) {
            r = 240 - disc * 30;
            g = 60 + disc * 35;
            b = 40 + disc * 20;
          }
        }
        noise = noise * 1664525u + 1013904223u;
        int grain = static_cast<int>(noise >> 28) - 8;
        auto clamp = [](double v) { return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v); };
        words[2 + static_cast<std::size_t>(y) * kWidth + x] =
            clamp(r + grain) << 16 | clamp(g + grain) << 8 | clamp(b + grain);
      }
    }
    return words;
  }();
  return array;
}

const ArrayObject* photo() { return reinterpret_cast<const ArrayObject*>(photoArray().data()); }

std::string outputName() {
  const char* folder = std::getenv("TMPDIR");
  return std::string(folder && *folder ? folder : "/tmp") + "/tavolin-jpeg-bench.jpg";
}

void BM_Export(benchmark::State& state) {
  const ArrayObject* pixels = photo();
  std::string name = outputName();
  TestString path = TestString::latin1(name);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Kestrilo_saveJPEG(nullptr, path.handle(), pixels, kWidth, kHeight));
  }
  std::remove(name.c_str());
}

// Compresses `rows` (each `rowBytes` apart) into memory with the export's parameters, under
// `space` with `components` bytes per pixel; returns the JPEG's size.
unsigned long compressInMemory(const std::uint8_t* rows, std::size_t rowBytes, J_COLOR_SPACE space,
                               int components, std::vector<unsigned char>& out) {
  jpeg_compress_struct compressor{};
  jpeg_error_mgr errors{};
  compressor.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compressor);
  setCompressionParameters(&compressor, kWidth, kHeight);
  compressor.in_color_space = space;
  compressor.input_components = components;
  unsigned char* buffer = out.data();
  unsigned long size = out.size();
  jpeg_mem_dest(&compressor, &buffer, &size);
  jpeg_start_compress(&compressor, TRUE);
  while (compressor.next_scanline < compressor.image_height) {
    auto row = const_cast<JSAMPROW>(rows + compressor.next_scanline * rowBytes);
    jpeg_write_scanlines(&compressor, &row, 1);
  }
  jpeg_finish_compress(&compressor);
  jpeg_destroy_compress(&compressor);
  if (buffer != out.data()) std::free(buffer);  // grown by the library: not expected
  return size;
}

void BM_LibraryAlone(benchmark::State& state) {
  const std::int32_t* colours = intElements(photo());
  std::vector<std::uint8_t> bgr(static_cast<std::size_t>(kWidth) * kHeight * 3);
  for (std::size_t i = 0; i < static_cast<std::size_t>(kWidth) * kHeight; ++i) {
    bgr[i * 3] = static_cast<std::uint8_t>(colours[i]);
    bgr[i * 3 + 1] = static_cast<std::uint8_t>(colours[i] >> 8);
    bgr[i * 3 + 2] = static_cast<std::uint8_t>(colours[i] >> 16);
  }
  std::vector<unsigned char> out(64 << 20);
  unsigned long size = 0;
  for (auto _ : state) {
    size = compressInMemory(bgr.data(), kWidth * 3, JCS_EXT_BGR, 3, out);
    benchmark::DoNotOptimize(size);
  }
  state.counters["jpeg_bytes"] = static_cast<double>(size);
}

// The library straight from the packed ints (blue, green, red, unused in memory).
void BM_LibraryFromPackedInts(benchmark::State& state) {
  const auto* rows = reinterpret_cast<const std::uint8_t*>(intElements(photo()));
  std::vector<unsigned char> out(64 << 20);
  for (auto _ : state) {
    benchmark::DoNotOptimize(compressInMemory(rows, kWidth * 4, JCS_EXT_BGRX, 4, out));
  }
}

// The reference pipeline's work before compression, as the export did it before it read the
// rows in place: a fresh zero-filled three-byte bitmap of the whole picture, filled from the
// packed ints four pixels at a time (three 32-bit words per four pixels).
void BM_ReferenceCopyIntoBitmap(benchmark::State& state) {
  const std::int32_t* colours = intElements(photo());
  for (auto _ : state) {
    Bitmap bitmap;
    bitmap.setFormat(kWidth, kHeight, 2);
    bitmap.allocatePixels();
    for (int y = 0; y < kHeight; ++y) {
      std::uint8_t* out = bitmap.pixelAddress(0, y);
      const std::int32_t* in = colours + static_cast<std::size_t>(y) * kWidth;
      static_assert(kWidth % 4 == 0);
      for (int x = 0; x < kWidth; x += 4, out += 12) {
        auto a = static_cast<std::uint32_t>(in[x]);
        auto b = static_cast<std::uint32_t>(in[x + 1]);
        auto c = static_cast<std::uint32_t>(in[x + 2]);
        auto d = static_cast<std::uint32_t>(in[x + 3]);
        const std::uint32_t words[3] = {(a & 0xFFFFFFu) | b << 24, (b >> 8 & 0xFFFFu) | c << 16,
                                        (c >> 16 & 0xFFu) | d << 8};
        std::memcpy(out, words, sizeof words);
      }
    }
    benchmark::DoNotOptimize(bitmap.pixels);
  }
}

BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibraryAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibraryFromPackedInts)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReferenceCopyIntoBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();

int writePicture(const char* name) {
  const std::vector<std::int32_t>& words = photoArray();
  std::FILE* file = std::fopen(name, "wb");
  if (!file) return 1;
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the file holds little-endian ints");
  std::size_t count = words.size() - 2;
  bool written = std::fwrite(words.data() + 2, sizeof(std::int32_t), count, file) == count;
  return std::fclose(file) == 0 && written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write-picture") return writePicture(argv[2]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
