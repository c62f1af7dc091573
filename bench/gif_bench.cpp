// GIF decode and encode against giflib on the same 4096 × 4096 pictures, in the same run:
// "noise" (random indices, the worst case for LZW) and "photo" (smooth gradients in 24 colours,
// long runs and repeated strings). Decoders read the same bytes from memory (our own file, so
// both decode one interlaced image); encoders write an interlaced file to the temporary folder.
// Apart from those, the writer's scan for the colour table's size over a 64 MB block, with an
// index of 128 or more at its start, at its end, or nowhere; and what the refusals cost that
// keep one call's memory and time bounded: a tiny file declaring a screen beyond
// kMaxGifScreenPixels, and a large file (1.9 GB, sparse) that is no GIF. Their counter
// largest_block is the largest block asked of the heap during one load.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "library/image/gif_colour_table.h"
#include "library/image/gif_image.h"
#include "platform/platform.h"
#include "platform/testing/platform_testing.h"

namespace {

constexpr int kSide = 4096;

std::vector<std::uint8_t> picture(bool noise) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kSide) * kSide);
  std::mt19937 random(7);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      std::uint8_t& p = pixels[static_cast<std::size_t>(y) * kSide + x];
      if (noise) {
        p = static_cast<std::uint8_t>(random());
      } else {
        double v = 0.5 + 0.25 * std::sin(x / 400.0) + 0.25 * std::cos((x + 2 * y) / 700.0);
        p = static_cast<std::uint8_t>(static_cast<int>(v * 23.99));
      }
    }
  }
  return pixels;
}

void fill(GifImage& image, const std::vector<std::uint8_t>& pixels) {
  image.setFormat(kSide, kSide, 1);
  image.allocatePalette();
  image.allocatePixels();
  for (int i = 0; i < 768; ++i) image.palette[i] = static_cast<std::uint8_t>(i * 11);
  for (int y = 0; y < kSide; ++y) {
    std::memcpy(image.pixelAddress(0, y), &pixels[static_cast<std::size_t>(y) * kSide], kSide);
  }
}

std::string tempName(const char* name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

struct Fixture {
  std::vector<std::uint8_t> pixels;
  std::vector<std::uint8_t> file;
};

const Fixture& fixture(bool noise) {
  static Fixture fixtures[2];
  Fixture& f = fixtures[noise];
  if (f.file.empty()) {
    f.pixels = picture(noise);
    GifImage image;
    fill(image, f.pixels);
    std::string name = tempName("tavolin-bench-source.gif");
    image.saveGif(name.c_str());
    std::ifstream in(name, std::ios::binary);
    f.file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::filesystem::remove(name);
  }
  return f;
}

void ourDecode(benchmark::State& state, bool noise) {
  const Fixture& f = fixture(noise);
  for (auto _ : state) {
    GifImage image;
    benchmark::DoNotOptimize(image.loadGifFromMemory(f.file.data(), f.file.size(), 0));
    benchmark::DoNotOptimize(*image.pixelAddress(0, 0));
  }
  state.SetBytesProcessed(state.iterations() * kSide * kSide);
}

struct MemoryInput {
  const std::vector<std::uint8_t>* bytes;
  std::size_t at;
};

int readMemory(GifFileType* gif, GifByteType* out, int count) {
  auto* input = static_cast<MemoryInput*>(gif->UserData);
  std::size_t left = input->bytes->size() - input->at;
  std::size_t n = static_cast<std::size_t>(count) < left ? static_cast<std::size_t>(count) : left;
  std::memcpy(out, input->bytes->data() + input->at, n);
  input->at += n;
  return static_cast<int>(n);
}

void giflibDecode(benchmark::State& state, bool noise) {
  const Fixture& f = fixture(noise);
  for (auto _ : state) {
    MemoryInput input{&f.file, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&input, readMemory, &error);
    benchmark::DoNotOptimize(DGifSlurp(gif));
    benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits[0]);
    DGifCloseFile(gif, &error);
  }
  state.SetBytesProcessed(state.iterations() * kSide * kSide);
}

void ourEncode(benchmark::State& state, bool noise) {
  const Fixture& f = fixture(noise);
  GifImage image;
  fill(image, f.pixels);
  std::string name = tempName("tavolin-bench-ours.gif");
  for (auto _ : state) benchmark::DoNotOptimize(image.saveGif(name.c_str()));
  state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(name));
  std::filesystem::remove(name);
  state.SetBytesProcessed(state.iterations() * kSide * kSide);
}

void giflibEncode(benchmark::State& state, bool noise) {
  const Fixture& f = fixture(noise);
  std::string name = tempName("tavolin-bench-giflib.gif");
  std::vector<GifColorType> colours(256);
  for (int i = 0; i < 256; ++i) {
    colours[i] = {static_cast<GifByteType>(i * 33), static_cast<GifByteType>(i * 33 + 1),
                  static_cast<GifByteType>(i * 33 + 2)};
  }
  for (auto _ : state) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(name.c_str(), false, &error);
    gif->SWidth = gif->SHeight = kSide;
    gif->SColorResolution = 8;
    gif->SBackGroundColor = 0;
    gif->SColorMap = GifMakeMapObject(256, colours.data());
    // EGifSpew closes the file and frees the image, raster included, so it gets a copy (a 16 MB
    // copy, a few milliseconds of giflib's time).
    SavedImage* image = GifMakeSavedImage(gif, nullptr);
    image->ImageDesc.Width = image->ImageDesc.Height = kSide;
    image->ImageDesc.Interlace = true;
    image->RasterBits = static_cast<GifByteType*>(malloc(f.pixels.size()));
    std::memcpy(image->RasterBits, f.pixels.data(), f.pixels.size());
    benchmark::DoNotOptimize(EGifSpew(gif));
  }
  state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(name));
  std::filesystem::remove(name);
  state.SetBytesProcessed(state.iterations() * kSide * kSide);
}

// Where in the pixel block (bottom row first) the index of 128 or more is.
enum class HighIndex { kAtStart, kAtEnd, kNone };

void colourTableScan(benchmark::State& state, HighIndex where) {
  constexpr int kScanSide = 8192;
  GifImage image;
  image.setFormat(kScanSide, kScanSide, 1);
  image.allocatePalette();
  image.allocatePixels();
  std::memset(image.pixels, 3, static_cast<std::size_t>(image.size));
  if (where == HighIndex::kAtStart) image.pixels[0] = 200;
  if (where == HighIndex::kAtEnd) image.pixels[image.size - 1] = 200;
  for (auto _ : state) benchmark::DoNotOptimize(colourTableCode(image));
  state.counters["code"] = colourTableCode(image);
  state.SetBytesProcessed(state.iterations() * image.size);
}

// The heap, remembering the largest block asked for.
class LargestBlock final : public platform::MemoryService {
 public:
  LargestBlock() : real_(platform::memory()) { platform::setMemoryService(this); }
  ~LargestBlock() override { platform::setMemoryService(nullptr); }
  void* allocate(std::size_t size, bool zeroFill) override {
    if (size > largest) largest = size;
    return real_.allocate(size, zeroFill);
  }
  void* reallocate(void* block, std::size_t size) override {
    if (size > largest) largest = size;
    return real_.reallocate(block, size);
  }
  void release(void* block) override { real_.release(block); }
  std::size_t largest = 0;

 private:
  platform::MemoryService& real_;
};

class QuietMessages final : public platform::MessageService {
 public:
  void showError(const char*, const char*) override {}
  void trace(const char*) override {}
};

// 43 bytes: a 32767 × 65535 screen, a graphic control extension asking for the fill, one image
// over the whole screen with three LZW codes (clear, one pixel, end).
std::vector<std::uint8_t> hugeScreenFile() {
  return {'G', 'I', 'F',  '8',  '9',  'a',  0xFF, 0x7F, 0xFF, 0xFF, 0x80, 0, 0,    0, 0,
          0,   255, 255,  255,  0x21, 0xF9, 4,    0x09, 0,    0,    1,    0, 0x2C, 0, 0,
          0,   0,   0xFF, 0xFF, 0xFF, 0xFF, 0,    2,    2,    0x44, 0x01, 0, 0x3B};
}

void refuseHugeScreen(benchmark::State& state, bool fromFile) {
  QuietMessages quiet;
  platform::setMessageService(&quiet);
  const std::vector<std::uint8_t> file = hugeScreenFile();
  std::string name = tempName("tavolin-bench-huge-screen.gif");
  std::ofstream(name, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  LargestBlock memory;
  for (auto _ : state) {
    GifImage image;
    benchmark::DoNotOptimize(fromFile ? image.loadGif(name.c_str(), 0)
                                      : image.loadGifFromMemory(file.data(), file.size(), 0));
  }
  state.counters["largest_block"] = static_cast<double>(memory.largest);
  std::filesystem::remove(name);
  platform::setMessageService(nullptr);
}

void refuseLargeNonGif(benchmark::State& state) {
  QuietMessages quiet;
  platform::setMessageService(&quiet);
  std::string name = tempName("tavolin-bench-large.gif");
  std::ofstream(name, std::ios::binary) << "RIFF....AVI LIST";
  std::filesystem::resize_file(name, 1900ull << 20);
  LargestBlock memory;
  for (auto _ : state) {
    GifImage image;
    benchmark::DoNotOptimize(image.loadGif(name.c_str(), 0));
  }
  state.counters["largest_block"] = static_cast<double>(memory.largest);
  std::filesystem::remove(name);
  platform::setMessageService(nullptr);
}

BENCHMARK_CAPTURE(refuseHugeScreen, from_memory, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(refuseHugeScreen, from_file, true)->Unit(benchmark::kMicrosecond);
BENCHMARK(refuseLargeNonGif)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(colourTableScan, high_index_at_start, HighIndex::kAtStart)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(colourTableScan, high_index_at_end, HighIndex::kAtEnd)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(colourTableScan, no_high_index, HighIndex::kNone)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ourDecode, noise, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(giflibDecode, noise, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ourDecode, photo, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(giflibDecode, photo, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ourEncode, noise, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(giflibEncode, noise, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ourEncode, photo, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(giflibEncode, photo, false)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
