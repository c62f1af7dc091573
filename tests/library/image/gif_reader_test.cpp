#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "library/image/gif_image.h"
#include "library/image/gif_test_support.h"

namespace {

using giftest::Bytes;
using giftest::GifBuilder;

// The screen top row first, width bytes per row.
Bytes screenOf(GifImage& image) {
  Bytes out;
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* row = image.pixelAddress(0, y);
    out.insert(out.end(), row, row + image.width);
  }
  return out;
}

Bytes sequence(int count, int start = 0, int modulo = 256) {
  Bytes out;
  for (int i = 0; i < count; ++i) out.push_back(static_cast<std::uint8_t>((start + i) % modulo));
  return out;
}

// The heap, refusing every block above 1 MB and remembering the largest one asked for: whether a
// refusal came before any large allocation.
class SmallMemory final : public platform::MemoryService {
 public:
  SmallMemory() : real_(platform::memory()) { platform::setMemoryService(this); }
  ~SmallMemory() override { platform::setMemoryService(nullptr); }
  void* allocate(std::size_t size, bool zeroFill) override {
    largest = std::max(largest, size);
    return size > kLimit ? nullptr : real_.allocate(size, zeroFill);
  }
  void* reallocate(void* block, std::size_t size) override {
    largest = std::max(largest, size);
    return size > kLimit ? nullptr : real_.reallocate(block, size);
  }
  void release(void* block) override { real_.release(block); }

  static constexpr std::size_t kLimit = 1u << 20;
  std::size_t largest = 0;

 private:
  platform::MemoryService& real_;
};

struct LoadCase {
  std::string name;
  Bytes file;
  int frame;
  int result;
  Bytes screen;  // expected screen, top row first; empty when not checked
  std::vector<std::string> shown = {};
};

TEST(GifReader, LoadsHandAssembledFiles) {
  const Bytes f23 = {1, 2, 3, 4, 5, 6};  // a 3 × 2 image, rows 1 2 3 / 4 5 6
  const std::vector<LoadCase> cases = {
      {"GIF89a", GifBuilder().header(3, 2, 2).image(0, 0, 3, 2, f23).trailer().bytes, 0, 1, f23},
      {"GIF87a", GifBuilder().header(3, 2, 2, "GIF87a").image(0, 0, 3, 2, f23).trailer().bytes, 0,
       1, f23},
      {"unknown version", GifBuilder().header(3, 2, 2, "GIF12z").image(0, 0, 3, 2, f23).bytes, 0, 1,
       f23},
      {"not a GIF", Bytes{'P', 'N', 'G', '8', '9', 'a', 3, 0, 2, 0, 0, 0, 0, 0x2C}, 0, 0, {}},
      {"empty file", Bytes{}, 0, 0, {}},
      {"header cut short", Bytes{'G', 'I', 'F', '8', '9', 'a', 3, 0}, 0, 0, {}},
      {"colour table cut short",
       Bytes{'G', 'I', 'F', '8', '9', 'a', 3, 0, 2, 0, 0x82, 0, 0, 1},
       0,
       0,
       {}},
      {"descriptor cut short", GifBuilder().header(3, 2).raw({0x2C, 0, 0, 0}).bytes, 0, 0, {}},
      {"ends before any block", GifBuilder().header(3, 2).bytes, 0, 0, {}},
      {"extension cut short", GifBuilder().header(3, 2).raw({0x21, 0xF9, 4, 1}).bytes, 0, 0, {}},
      {"comment cut short", GifBuilder().header(3, 2).raw({0x21, 0xFE, 10, 'a'}).bytes, 0, 0, {}},
      {"unknown block", GifBuilder().header(3, 2).raw({0x99}).bytes, 0, 0, {}},
      {"trailer before the image", GifBuilder().header(3, 2).trailer().bytes, 0, 0, {}},
      {"frame beyond the last",
       GifBuilder().header(3, 2).image(0, 0, 3, 2, f23).trailer().bytes,
       1,
       0,
       {}},
      {"empty screen", GifBuilder().header(0, 2).image(0, 0, 3, 2, f23).bytes, 0, 0, {}},
      {"screen wider than a row may be",
       GifBuilder().header(65533, 1).image(0, 0, 1, 1, {1}).bytes,
       0,
       0,
       {}},
      {"zero-width image", GifBuilder().header(3, 2).image(0, 0, 0, 2, {}).bytes, 0, 0, {}},
      {"zero-height image", GifBuilder().header(3, 2).image(0, 0, 3, 0, {}).bytes, 0, 0, {}},
      {"comment and application extension passed over",
       GifBuilder()
           .header(3, 2)
           .comment("hello")
           .raw({0x21, 0xFF, 3, 'a', 'b', 'c', 0})
           .image(0, 0, 3, 2, f23)
           .bytes,
       0, 1, f23},
      {"offset image, rest of the screen zero",
       GifBuilder().header(5, 4).image(1, 2, 3, 2, f23).bytes,
       0,
       1,
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 0, 0, 4, 5, 6, 0}},
      {"image beyond the screen is clipped",
       GifBuilder().header(4, 3).image(2, 1, 3, 3, sequence(9, 1)).bytes,
       0,
       1,
       {0, 0, 0, 0, 0, 0, 1, 2, 0, 0, 4, 5}},
      {"image wholly outside the screen",
       GifBuilder().header(2, 2).image(9, 9, 3, 2, f23).bytes,
       0,
       1,
       {0, 0, 0, 0}},
      {"first code not a clear",
       GifBuilder().header(3, 2).descriptor(0, 0, 3, 2).data(8, {1, 2, 3, 4, 5, 6, 257}).bytes, 0,
       1, f23},
      {"no end code: stops at the last row",
       GifBuilder().header(3, 2).descriptor(0, 0, 3, 2).data(8, {256, 1, 2, 3, 4, 5, 6}).bytes, 0,
       1, f23},
      {"string codes",
       GifBuilder().header(4, 1).descriptor(0, 0, 4, 1).data(2, {4, 1, 6, 6, 5}).bytes,
       0,
       1,
       {1, 1, 1, 1}},
      {"minimum code size 1",
       GifBuilder().header(3, 2).descriptor(0, 0, 3, 2).data(1, {2, 1, 3}).bytes,
       0,
       1,
       Bytes(6, 0),
       {"Gif decoder"}},
      // Written by hand: the builder's packer cannot express a minimum code size of 9.
      {"minimum code size 9",
       GifBuilder().header(3, 2).descriptor(0, 0, 3, 2).raw({9, 2, 0, 2, 0}).bytes,
       0,
       1,
       Bytes(6, 0),
       {"Gif decoder"}},
      {"code above the next free code",
       GifBuilder().header(3, 2).descriptor(0, 0, 3, 2).data(8, {256, 1, 2, 300, 257}).bytes,
       0,
       1,
       {1, 2, 0, 0, 0, 0},
       {"Gif decoder"}},
      {"next free code with no previous code",
       GifBuilder().header(3, 2).descriptor(0, 0, 3, 2).data(8, {256, 258}).bytes,
       0,
       1,
       Bytes(6, 0),
       {"Gif decoder"}},
      {"zero-length sub-block while a code needs bits",
       GifBuilder().header(3, 2).descriptor(0, 0, 3, 2).data(8, {256, 1, 2}).bytes,
       0,
       1,
       {1, 2, 0, 0, 0, 0},
       {"Gif decoder"}},
      {"file ends inside the data",
       GifBuilder().header(3, 2).descriptor(0, 0, 3, 2).raw({8, 200, 0, 3, 8}).bytes,
       0,
       1,
       {1, 0, 0, 0, 0, 0},
       {"Gif decoder"}},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingMessages messages;
    GifImage image;
    EXPECT_EQ(image.loadGifFromMemory(c.file.data(), c.file.size(), c.frame), c.result);
    if (!c.screen.empty()) {
      EXPECT_EQ(screenOf(image), c.screen);
    }
    std::vector<std::string> shown;
    for (const ShownMessage& m : messages.shown) {
      EXPECT_EQ(m.caption, "Error");
      shown.push_back(m.text);
    }
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(image.reader.buffer, nullptr);  // the file's block is released whatever happened
  }
}

TEST(GifReader, InterlacedRowsFillInPassOrder) {
  // A one-pixel-wide image whose k-th pixel in the stream is k: the screen shows which stream
  // row landed on which picture row.
  const std::vector<Bytes> expected = {{0},          {0, 1},          {0, 2, 1},
                                       {0, 2, 1, 3}, {0, 3, 2, 4, 1}, {0, 5, 3, 6, 2, 7, 4, 8, 1}};
  for (const Bytes& rows : expected) {
    int height = static_cast<int>(rows.size());
    SCOPED_TRACE(height);
    Bytes file =
        GifBuilder().header(1, height).image(0, 0, 1, height, sequence(height), 0x40).bytes;
    GifImage image;
    ASSERT_EQ(image.loadGifFromMemory(file.data(), file.size(), 0), 1);
    EXPECT_EQ(screenOf(image), rows);
  }
}

TEST(GifReader, EveryMinimumCodeSizeDecodes) {
  for (int size = 2; size <= 8; ++size) {
    SCOPED_TRACE(size);
    Bytes pixels = sequence(7 * 5, 3, 1 << size);
    Bytes file = GifBuilder().header(7, 5).image(0, 0, 7, 5, pixels, 0, size).bytes;
    GifImage image;
    ASSERT_EQ(image.loadGifFromMemory(file.data(), file.size(), 0), 1);
    EXPECT_EQ(screenOf(image), pixels);
  }
}

TEST(GifReader, FullTableKeepsTwelveBitCodesWithoutNewEntries) {
  // Literals only: entries 258 to 4095 fill the table after 3839 codes; 500 more follow at 12
  // bits, then a clear and 9-bit codes again.
  Bytes pixels = sequence(3839 + 500 + 61, 7, 251);
  std::vector<int> codes =
      giftest::literalCodes(8, Bytes(pixels.begin(), pixels.end() - 61), false);
  codes.push_back(256);
  codes.insert(codes.end(), pixels.end() - 61, pixels.end());
  codes.push_back(257);
  Bytes file = GifBuilder().header(4400, 1).descriptor(0, 0, 4400, 1).data(8, codes).bytes;
  GifImage image;
  ASSERT_EQ(image.loadGifFromMemory(file.data(), file.size(), 0), 1);
  EXPECT_EQ(screenOf(image), pixels);
}

TEST(GifReader, LocalTableReplacesOnlyItsEntries) {
  Bytes file = GifBuilder().header(2, 1, 7).image(0, 0, 2, 1, {0, 1}, 0x80 | 1).bytes;
  GifImage image;
  ASSERT_EQ(image.loadGifFromMemory(file.data(), file.size(), 0), 1);
  // Local entries 0-3 from seed 100; entry 4 onwards still the global table's (seed 0).
  EXPECT_EQ(Bytes(image.palette, image.palette + 15),
            (Bytes{100, 0, 255, 101, 2, 254, 102, 4, 253, 103, 6, 252, 4, 8, 251}));
  EXPECT_EQ(image.palette[765], 255);
}

TEST(GifReader, NoColourTableLeavesThePaletteBlack) {
  Bytes file = GifBuilder().header(2, 1).image(0, 0, 2, 1, {0, 1}).bytes;
  GifImage image;
  ASSERT_EQ(image.loadGifFromMemory(file.data(), file.size(), 0), 1);
  EXPECT_EQ(Bytes(image.palette, image.palette + 768), Bytes(768, 0));
}

TEST(GifReader, TransparencyAndFillCarryAcrossFrames) {
  // The control before frame 0 (transparent 2, disposal bit 3) is what frame 1 sees: its
  // rectangle is filled with 2 first, and its pixels of value 2 are not written.
  GifBuilder gif;
  gif.header(4, 2, 2)
      .control(0x09, 2)
      .image(0, 0, 4, 2, sequence(8, 1, 4))
      .image(1, 0, 3, 2, {2, 5, 2, 6, 2, 7});
  struct Case {
    int frame;
    Bytes screen;
  };
  const Case cases[] = {
      {0, {1, 2, 3, 0, 1, 2, 3, 0}},  // frame 0: every pixel written, 2 included
      {1, {0, 2, 5, 2, 0, 6, 2, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame);
    GifImage image;
    ASSERT_EQ(image.loadGifFromMemory(gif.bytes.data(), gif.bytes.size(), c.frame), 1);
    EXPECT_EQ(screenOf(image), c.screen);
    EXPECT_EQ(image.transparentSet, 1);
    EXPECT_EQ(image.transparentIndex, 2);
    EXPECT_EQ(image.fillBeforeDecode, 1);
    EXPECT_EQ(image.framesPassed, c.frame + 1);
  }
}

TEST(GifReader, FillShowsWhereDecodingStoppedEarly) {
  // Disposal bit with a transparent index fills with it; without one, with index 0.
  struct Case {
    int packed;
    Bytes screen;
  };
  const Case cases[] = {{0x09, {1, 2, 0, 9, 9, 0}}, {0x08, {1, 2, 0, 0, 0, 0}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.packed);
    Bytes file = GifBuilder()
                     .header(3, 2)
                     .control(c.packed, 9)
                     .descriptor(0, 0, 2, 2)
                     .data(8, {256, 1, 2})
                     .bytes;
    RecordingMessages messages;
    GifImage image;
    ASSERT_EQ(image.loadGifFromMemory(file.data(), file.size(), 0), 1);
    EXPECT_EQ(screenOf(image), c.screen);
    EXPECT_EQ(messages.shown.size(), 1u);
  }
}

TEST(GifReader, WorkspaceFailureLeavesTheImageAsItWas) {
  Bytes file = GifBuilder().header(3, 2).image(0, 0, 3, 2, {1, 2, 3, 4, 5, 6}).bytes;
  RecordingMessages messages;
  GifImage image;
  {
    // The palette, the file's copy and the pixel block succeed; the decoder's areas do not.
    FailingMemory memory(3);
    EXPECT_EQ(image.loadGifFromMemory(file.data(), file.size(), 0), 1);
  }
  EXPECT_EQ(screenOf(image), Bytes(6, 0));
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[0].text, "Sorry, not enough memory");
  EXPECT_EQ(messages.shown[1].text, "Gif decode workspace allocation");
}

TEST(GifReader, LoadsFromAFileAndTracesWhatIsNotOne) {
  TempFolder folder;
  Bytes file = GifBuilder().header(3, 2, 1).image(0, 0, 3, 2, {1, 2, 3, 0, 1, 2}).trailer().bytes;
  std::string name = folder.write("f.gif", std::string(file.begin(), file.end()));
  std::string other = folder.write("f.txt", "not a picture at all");
  std::string empty = folder.write("empty.gif", "");
  std::string shorter = folder.write("gi.gif", "GI");
  RecordingMessages messages;
  GifImage image;
  EXPECT_EQ(image.loadGif(name.c_str(), 0), 1);
  EXPECT_EQ(screenOf(image), (Bytes{1, 2, 3, 0, 1, 2}));
  for (const std::string& refused : {other, empty, shorter}) {
    GifImage notGif;
    EXPECT_EQ(notGif.loadGif(refused.c_str(), 0), 0);
  }
  GifImage missing;
  EXPECT_EQ(missing.loadGif(folder.file("none.gif").c_str(), 0), 0);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(messages.traced,
            (std::vector<std::string>{"Bad format: " + other, "Bad format: " + empty,
                                      "Bad format: " + shorter,
                                      "File not found: " + folder.file("none.gif")}));
}

// Screens beyond kMaxGifScreenPixels are refused before their block is asked for, whatever the
// image, the fill or the data say; at the bound the block is asked for (and here refused by the
// allocator). Only the outcome is tested here; bench/gif_bench.cpp measures the time.
TEST(GifReader, ScreensBeyondTheBoundAreRefusedBeforeTheirBlock) {
  const std::vector<int> threeCodes = {4, 0, 5};  // clear, one pixel, end
  struct Case {
    const char* name;
    Bytes file;
    std::size_t largest;  // the largest block asked for
  };
  // A screen with one 1 × 1 image at its corner, without a trailer.
  auto onePixelImage = [&](int width, int height) {
    return GifBuilder().header(width, height, 0).descriptor(0, 0, 1, 1).data(2, threeCodes).bytes;
  };
  const Case cases[] = {
      {"32767 × 65535, filled, one image over the screen",
       GifBuilder()
           .header(32767, 65535, 0)
           .control(0x09, 1)
           .descriptor(0, 0, 65535, 65535)
           .data(2, threeCodes)
           .trailer()
           .bytes,
       SmallMemory::kLimit},
      {"32767 × 65535, a 1 × 1 image", onePixelImage(32767, 65535), SmallMemory::kLimit},
      {"one pixel beyond: 16385 × 16384", onePixelImage(16385, 16384), SmallMemory::kLimit},
      {"65532 × 4097", onePixelImage(65532, 4097), SmallMemory::kLimit},
      {"at the bound: 16384 × 16384, asked for", onePixelImage(16384, 16384), std::size_t{1} << 28},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingMessages messages;
    SmallMemory memory;
    GifImage image;
    EXPECT_EQ(image.loadGifFromMemory(c.file.data(), c.file.size(), 0), 0);
    EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"Error", "Sorry, not enough memory"}}));
    if (c.largest == SmallMemory::kLimit) {
      EXPECT_LE(memory.largest, c.largest);
    } else {
      EXPECT_EQ(memory.largest, c.largest);
    }
    EXPECT_EQ(image.pixels, nullptr);
  }
}

// A large file that is no GIF is refused after its first bytes: no block of its size is asked
// for. A sparse file of 1.9 GB stands for it.
TEST(GifReader, ALargeFileOfAnotherKindIsNotReadWhole) {
  TempFolder folder;
  std::string name = folder.write("film.gif", "RIFF\x10\0\0\0AVI LIST");
  std::filesystem::resize_file(name, 1900ull << 20);
  RecordingMessages messages;
  SmallMemory memory;
  GifImage image;
  EXPECT_EQ(image.loadGif(name.c_str(), 0), 0);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(messages.traced, std::vector<std::string>{"Bad format: " + name});
  EXPECT_LE(memory.largest, std::size_t{1} << 12);
}

}  // namespace
