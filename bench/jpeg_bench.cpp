// The JPEG export against libjpeg-turbo alone, on a 4000 × 3000 photo-like picture.
//
// Export: Kestrilo_saveJPEG from a Java-style int array to a file (copy into the bitmap,
// compression, 4096-byte writes). Library: the same parameters, compressing the same pixels
// already in three-byte rows in memory into memory. The other two show where the difference
// goes (the copy into the bitmap) and what a path without the bitmap could reach.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// jpeglib.h uses size_t and FILE without declaring them.
#include <jpeglib.h>

#include "library/exports/exports.h"
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

// The export's own work before compression: the bitmap's allocation and the copy into it.
void BM_CopyIntoBitmap(benchmark::State& state) {
  const std::int32_t* colours = intElements(photo());
  for (auto _ : state) {
    JpegWriter writer;
    writer.setFormat(kWidth, kHeight, kJpegPixelFormat);
    writer.allocatePixels();
    writer.copyPixels(colours);
    benchmark::DoNotOptimize(writer.pixels);
  }
}

BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibraryAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibraryFromPackedInts)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyIntoBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
