#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "library/image/gif_image.h"
#include "library/image/gif_test_support.h"

namespace {

using giftest::Bytes;

// A loaded-looking image: width × height indices, top row first.
void fill(GifImage& image, int width, int height, const Bytes& pixels) {
  image.setFormat(width, height, 1);
  ASSERT_EQ(image.allocatePalette(), 1);
  ASSERT_EQ(image.allocatePixels(), 1);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.pixelAddress(0, y);
    for (int x = 0; x < width; ++x) row[x] = pixels[static_cast<std::size_t>(y * width + x)];
  }
}

Bytes noise(std::size_t count, unsigned seed, int modulo = 256) {
  std::mt19937 random(seed);
  Bytes out(count);
  for (auto& b : out) b = static_cast<std::uint8_t>(random() % static_cast<unsigned>(modulo));
  return out;
}

Bytes saved(GifImage& image, const TempFolder& folder) {
  std::string name = folder.file("out.gif");
  EXPECT_EQ(image.saveGif(name.c_str()), 1);
  std::string text = folder.read("out.gif");
  return Bytes(text.begin(), text.end());
}

// The offset of the image data's sub-blocks (after the minimum code size byte).
std::size_t dataStart(const Bytes& file) {
  std::size_t at = 13 + 3 * (2u << (file[10] & 7));
  if (file[at] == 0x21) at += 8;
  return at + 10 + 1;
}

TEST(GifWriter, WritesTheSmallestTransparentImageExactly) {
  TempFolder folder;
  GifImage image;
  fill(image, 2, 2, {0, 0, 0, 0});
  image.transparentSet = 1;
  image.transparentIndex = 0;
  const Bytes expected = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x02, 0x00, 0x02, 0x00, 0x80, 0x00,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x21, 0xF9, 0x04, 0x01, 0x00,
                          0x00, 0x00, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x02, 0x00,
                          0x40, 0x08, 0x06, 0x00, 0x01, 0x08, 0x04, 0x10, 0x10, 0x00, 0x3B};
  EXPECT_EQ(saved(image, folder), expected);
}

TEST(GifWriter, PacksCodesLeastSignificantBitFirst) {
  TempFolder folder;
  GifImage image;
  fill(image, 2, 2, {0, 1, 1, 0});
  image.transparentSet = 1;
  Bytes file = saved(image, folder);
  std::size_t at = dataStart(file);
  EXPECT_EQ(Bytes(file.begin() + static_cast<std::ptrdiff_t>(at), file.end()),
            (Bytes{0x07, 0x00, 0x01, 0x04, 0x08, 0x00, 0x20, 0x20, 0x00, 0x3B}));
}

// The highest index may sit anywhere in a large picture, and indices that share no bit must not
// add up to a larger table. The block holds the bottom row first, so pixel 300 * 40 (bottom left)
// is its first byte and pixels 296 to 299 (the end of the top row) are the 4 bytes after its last
// whole 8-byte word.
TEST(GifWriter, SizesTheColourTableFromAnywhereInTheBlock) {
  struct Case {
    std::vector<std::pair<int, std::uint8_t>> placed;  // pixel number, index
    int entries;
  };
  const Case cases[] = {{{{300 * 40 + 298, 5}}, 8},
                        {{{0, 64}, {6123, 63}}, 128},
                        {{{7, 3}, {8, 4}, {300 * 41 - 1, 2}}, 8},
                        // In the bytes after the last whole word, alone or after a high index.
                        {{{299, 200}}, 256},
                        {{{298, 64}}, 128},
                        {{{300 * 40, 130}, {299, 5}}, 256},
                        {{{300 * 40, 100}, {297, 27}}, 128}};
  for (const Case& c : cases) {
    TempFolder folder;
    GifImage image;
    Bytes pixels(300 * 41, 0);
    for (const auto& [at, index] : c.placed) pixels[static_cast<std::size_t>(at)] = index;
    fill(image, 300, 41, pixels);
    Bytes file = saved(image, folder);
    EXPECT_EQ(2 << (file[10] & 7), c.entries);
  }
}

TEST(GifWriter, SizesTheColourTableToTheHighestIndex) {
  struct Case {
    std::uint8_t highest;
    int fullPalette;
    int entries;
  };
  const Case cases[] = {{0, 0, 2},     {1, 0, 2},     {2, 0, 4},     {3, 0, 4},  {4, 0, 8},
                        {127, 0, 128}, {128, 0, 256}, {255, 0, 256}, {0, 1, 256}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.highest) << " full " << c.fullPalette);
    TempFolder folder;
    GifImage image;
    fill(image, 3, 3, {0, 0, 0, 0, c.highest, 0, 0, 0, 0});
    image.fullPalette = c.fullPalette;
    for (int i = 0; i < 768; ++i) image.palette[i] = static_cast<std::uint8_t>(i * 7);
    Bytes file = saved(image, folder);
    int code = file[10] & 7;
    EXPECT_EQ(file[10] & 0xF8, 0x80);
    EXPECT_EQ(2 << code, c.entries);
    EXPECT_EQ(Bytes(file.begin() + 13, file.begin() + 13 + 3 * c.entries),
              Bytes(image.palette, image.palette + 3 * c.entries));
    EXPECT_EQ(file[13 + 3 * c.entries], 0x2C);  // no control without transparency or frame rate
  }
}

TEST(GifWriter, WritesRowsInInterlacedOrder) {
  // One pixel per row, each row a distinct value: the literal codes give the row order.
  const std::vector<std::vector<int>> orders = {
      {0}, {0, 1}, {0, 2, 1}, {0, 2, 1, 3}, {0, 4, 2, 1, 3}, {0, 8, 4, 2, 6, 1, 3, 5, 7}};
  for (const auto& order : orders) {
    int height = static_cast<int>(order.size());
    SCOPED_TRACE(height);
    Bytes pixels;
    for (int y = 0; y < height; ++y) pixels.push_back(static_cast<std::uint8_t>(10 + 3 * y));
    TempFolder folder;
    GifImage image;
    fill(image, 1, height, pixels);
    Bytes file = saved(image, folder);
    std::vector<giftest::ReadCode> codes =
        giftest::readCodes(Bytes(file.begin() + static_cast<std::ptrdiff_t>(dataStart(file)), file.end()), 8);
    std::vector<int> values;
    for (const auto& c : codes) values.push_back(c.code);
    std::vector<int> expected{256};
    for (int row : order) expected.push_back(10 + 3 * row);
    expected.push_back(257);
    EXPECT_EQ(values, expected);
  }
}

TEST(GifWriter, FullTableSendsOneMorePrefixThenATwelveBitClear) {
  TempFolder folder;
  GifImage image;
  fill(image, 200, 100, noise(200 * 100, 5));
  Bytes file = saved(image, folder);
  auto codes =
      giftest::readCodes(Bytes(file.begin() + static_cast<std::ptrdiff_t>(dataStart(file)), file.end()), 8);
  ASSERT_GT(codes.size(), 3841u);
  EXPECT_EQ(codes[0].code, 256);
  // Codes 1 .. 3838 assign entries 258 .. 4095; code 3839 is the one more prefix; then the clear.
  for (std::size_t i = 1; i < 3840; ++i) ASSERT_NE(codes[i].code, 256) << i;
  EXPECT_EQ(codes[3838].width, 12);
  EXPECT_EQ(codes[3839].width, 12);
  EXPECT_EQ(codes[3840].code, 256);
  EXPECT_EQ(codes[3840].width, 12);
  EXPECT_EQ(codes[3841].width, 9);
  EXPECT_EQ(codes.back().code, 257);
}

TEST(GifWriter, SubBlocksHoldAtMost255BytesAndNeverZeroBeforeTheEnd) {
  // Many sizes of noise: the bits left at the end fill anything from 1 to 256 bytes, and 256
  // must come out as 255 + 1. Sizes 1504, 1653 and 2180 end with 256 bytes held.
  std::vector<int> sizes = {1504, 1653, 2180};
  for (int n = 1; n <= 300; ++n) sizes.push_back(n);
  int splitAtEnd = 0;
  TempFolder folder;
  for (int n : sizes) {
    GifImage image;
    int width = 900 + 3 * n;
    fill(image, width, 2, noise(static_cast<std::size_t>(width) * 2, static_cast<unsigned>(n)));
    Bytes file = saved(image, folder);
    std::size_t at = dataStart(file);
    std::vector<int> lengths;
    while (at < file.size() && file[at] != 0) {
      lengths.push_back(file[at]);
      at += file[at] + 1u;
    }
    ASSERT_EQ(at + 2, file.size()) << n;  // the zero-length block, then the trailer
    ASSERT_EQ(file.back(), 0x3B);
    for (std::size_t i = 0; i + 2 < lengths.size(); ++i) {
      ASSERT_TRUE(lengths[i] == 254 || lengths[i] == 255) << n << " block " << i;
    }
    if (lengths.size() >= 2 && lengths[lengths.size() - 2] == 255 && lengths.back() == 1) {
      ++splitAtEnd;
    }
  }
  EXPECT_EQ(splitAtEnd, 3);
}

TEST(GifWriter, WritesEveryOptionalBlock) {
  TempFolder folder;
  GifImage image;
  fill(image, 1, 1, {0});
  image.loopForever = 1;
  image.frameRate = 3;
  image.fillBeforeDecode = 1;
  Bytes file = saved(image, folder);
  const Bytes looping = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P',
                         'E',  '2',  '.',  '0', 3,   1,   0,   0,   0};
  EXPECT_EQ(Bytes(file.begin() + 19, file.begin() + 38), looping);
  EXPECT_EQ(Bytes(file.begin() + 38, file.begin() + 46),
            (Bytes{0x21, 0xF9, 0x04, 0x08, 33, 0, 0, 0}));
}

TEST(GifWriter, RefusesWhatItCannotWrite) {
  TempFolder folder;
  RecordingMessages messages;
  GifImage colour;
  colour.setFormat(2, 2, 2);
  ASSERT_EQ(colour.allocatePixels(), 1);
  ASSERT_EQ(colour.allocatePalette(), 1);
  EXPECT_EQ(colour.saveGif(folder.file("colour.gif").c_str()), 0);
  EXPECT_EQ(messages.shown,
            (std::vector<ShownMessage>{{"Error", "GIF requires 256 color format"}}));

  GifImage empty;
  fill(empty, 0, 3, {});
  EXPECT_EQ(empty.saveGif(folder.file("empty.gif").c_str()), 0);
  GifImage nowhere;
  fill(nowhere, 1, 1, {0});
  std::string missingFolder = folder.file("no/such/folder.gif");
  EXPECT_EQ(nowhere.saveGif(missingFolder.c_str()), 0);
  EXPECT_EQ(messages.traced.back(), "Cannot create file: " + missingFolder);
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

// Runs in a child process: a file size limit makes the writes fail part-way, as a full disk
// would. Exits 0 when the save failed and said so.
void saveWithLimitedFileSize(const std::string& name) {
  RecordingMessages messages;
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  limit.rlim_cur = limit.rlim_max = 4096;
  setrlimit(RLIMIT_FSIZE, &limit);
  GifImage image;
  fill(image, 300, 300, noise(300 * 300, 1));
  int result = image.saveGif(name.c_str());
  bool shown = !messages.shown.empty() && messages.shown[0].text == "Cannot write file";
  std::exit(result == 0 && shown ? 0 : 1);
}

TEST(GifWriter, FailedWriteLeavesTheOriginalFile) {
  TempFolder folder;
  std::string name = folder.write("keep.gif", "the user's only copy");
  EXPECT_EXIT(saveWithLimitedFileSize(name), testing::ExitedWithCode(0), "");
  EXPECT_EQ(folder.read("keep.gif"), "the user's only copy");
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1);  // no temporary file left behind
}

TEST(GifWriter, RewriteKeepsThePermissionsOfTheFileItReplaces) {
  TempFolder folder;
  std::string name = folder.write("private.gif", "old");
  std::filesystem::permissions(
      name, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  GifImage image;
  fill(image, 2, 2, {0, 1, 2, 3});
  ASSERT_EQ(image.saveGif(name.c_str()), 1);
  EXPECT_EQ(std::filesystem::status(name).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_NE(folder.read("private.gif"), "old");
}

TEST(GifWriter, RefusesToReplaceWhatIsNotAnOrdinaryFile) {
  TempFolder folder;
  std::string subfolder = folder.file("folder.gif");
  std::filesystem::create_directory(subfolder);
  std::string fifo = folder.file("pipe.gif");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  RecordingMessages messages;
  for (const std::string& name : {subfolder, fifo, std::string("/dev/null")}) {
    SCOPED_TRACE(name);
    GifImage image;
    fill(image, 2, 2, {0, 1, 2, 3});
    EXPECT_EQ(image.saveGif(name.c_str()), 0);
    EXPECT_EQ(messages.traced, std::vector<std::string>{"Cannot create file: " + name});
    messages.traced.clear();
  }
  EXPECT_TRUE(std::filesystem::is_directory(subfolder));
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                          std::filesystem::directory_iterator()),
            2);  // no temporary file left behind
}

TEST(GifWriter, ThroughASymbolicLinkTheLinkedFileIsRewritten) {
  TempFolder folder;
  std::string target = folder.write("real.gif", "the file the link names");
  std::string link = folder.file("link.gif");
  std::filesystem::create_symlink("real.gif", link);  // relative to the link's folder
  GifImage image;
  fill(image, 2, 2, {0, 1, 2, 3});
  ASSERT_EQ(image.saveGif(link.c_str()), 1);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(folder.read("real.gif").substr(0, 6), "GIF89a");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                          std::filesystem::directory_iterator()),
            2);
}

TEST(GifWriter, SavesOnSeveralThreadsAtOnceGiveTheBytesOfOneAtATime) {
  const int kThreads = 4;
  std::vector<GifImage> images(kThreads);
  std::vector<Bytes> alone(kThreads);
  TempFolder folder;
  for (int i = 0; i < kThreads; ++i) {
    fill(images[i], 160 + i, 120, noise(static_cast<std::size_t>(160 + i) * 120, 10u + i, 64 + i));
    std::string name = folder.file("alone" + std::to_string(i) + ".gif");
    ASSERT_EQ(images[i].saveGif(name.c_str()), 1);
    std::string text = folder.read("alone" + std::to_string(i) + ".gif");
    alone[i] = Bytes(text.begin(), text.end());
  }
  for (int round = 0; round < 5; ++round) {
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        std::string name = folder.file("together" + std::to_string(i) + ".gif");
        images[i].saveGif(name.c_str());
      });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < kThreads; ++i) {
      std::string text = folder.read("together" + std::to_string(i) + ".gif");
      EXPECT_EQ(Bytes(text.begin(), text.end()), alone[i]) << i;
    }
  }
}

}  // namespace
