// JpegWriter and its file destination: the stream's structure, what reaches the file and how,
// colours and orientation read back by a decoder, and write failures.
#include "library/image/jpeg_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "library/image/jpeg_destination.h"
#include "library/image/jpeg_test_support.h"
#include "library/support/replacement_file.h"

namespace {

// A picture with enough detail that its JPEG spans several output blocks.
std::vector<std::int32_t> noisyPicture(int width, int height) {
  std::vector<std::int32_t> pixels;
  std::uint32_t state = 12345;
  for (int i = 0; i < width * height; ++i) {
    state = state * 1103515245u + 12345u;
    pixels.push_back(static_cast<std::int32_t>(state >> 8));
  }
  return pixels;
}

// The picture saved by a JpegWriter into `name`; saveJpeg's result in `result`.
int saveWithWriter(const std::vector<std::int32_t>& pixels, int width, int height,
                   const std::string& name) {
  VectorRows rows(pixels);
  JpegWriter writer(rows, width, height);
  return writer.saveJpeg(name.c_str());
}

std::string savedBytes(const std::vector<std::int32_t>& pixels, int width, int height) {
  TempFolder folder;
  EXPECT_EQ(saveWithWriter(pixels, width, height, folder.file("out.jpg")), 1);
  return folder.read("out.jpg");
}

// The standard's tables (ITU-T T.81 K.1), natural order.
constexpr int kLuminance[64] = {16,  11,  10,  16,  24, 40, 51,  61,  12,  12,  14,  19,  26,
                                58,  60,  55,  14,  13, 16, 24,  40,  57,  69,  56,  14,  17,
                                22,  29,  51,  87,  80, 62, 18,  22,  37,  56,  68,  109, 103,
                                77,  24,  35,  55,  64, 81, 104, 113, 92,  49,  64,  78,  87,
                                103, 121, 120, 101, 72, 92, 95,  98,  112, 100, 103, 99};
constexpr int kChrominance[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                  24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                                  99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                  99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
// Zigzag position -> natural position.
constexpr int kNaturalOrder[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                   12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                   35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                   58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The F picture's header: the markers in order, without restart intervals or an Adobe segment;
// the JFIF header (version 1.01, square pixels) and the baseline frame (chroma halved both ways)
// byte for byte; the quantisation tables scaled for quality 90.
TEST(JpegStream, HeaderOfTheFPicture) {
  std::vector<Segment> segments = headerSegments(savedBytes(fPicture(), 6, 5));
  std::vector<int> markers;
  for (const Segment& s : segments) markers.push_back(s.marker);
  EXPECT_EQ(markers,
            (std::vector<int>{0xD8, 0xE0, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4, 0xDA}));

  struct Whole {
    int marker;
    std::vector<std::uint8_t> body;
  } wholeSegments[] = {
      {0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}},
      {0xC0, {8, 0, 5, 0, 6, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1}},
  };
  for (const Whole& expected : wholeSegments) {
    SCOPED_TRACE(expected.marker);
    auto found = std::find_if(segments.begin(), segments.end(),
                              [&](const Segment& s) { return s.marker == expected.marker; });
    ASSERT_NE(found, segments.end());
    EXPECT_EQ(found->body, expected.body);
  }

  std::map<int, std::vector<int>> tables;  // table number -> natural order
  for (const Segment& s : segments) {
    if (s.marker != 0xDB) continue;
    ASSERT_EQ(s.body.size(), 65u);  // 8-bit precision, one table per segment
    std::vector<int> natural(64);
    for (int i = 0; i < 64; ++i) natural[kNaturalOrder[i]] = s.body[1 + i];
    tables[s.body[0]] = natural;
  }
  ASSERT_EQ(tables.size(), 2u);
  const int* standard[2] = {kLuminance, kChrominance};
  for (int table = 0; table < 2; ++table) {
    SCOPED_TRACE(table);
    std::vector<int> expected;
    for (int i = 0; i < 64; ++i) {
      int scaled = (standard[table][i] * 20 + 50) / 100;
      expected.push_back(scaled < 1 ? 1 : scaled > 255 ? 255 : scaled);
    }
    EXPECT_EQ(tables[table], expected);
  }
  EXPECT_EQ(std::vector<int>(tables[0].begin(), tables[0].begin() + 8),
            (std::vector<int>{3, 2, 2, 3, 5, 8, 10, 12}));
  EXPECT_EQ(std::vector<int>(tables[1].begin(), tables[1].begin() + 8),
            (std::vector<int>{3, 4, 5, 9, 20, 20, 20, 20}));
}

TEST(JpegStream, HuffmanTablesAreTheStandardOnes) {
  // Class and number -> code counts for lengths 1 to 16 (T.81 K.3).
  const std::map<int, std::vector<std::uint8_t>> standard = {
      {0x00, {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}},
      {0x01, {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}},
      {0x10, {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D}},
      {0x11, {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77}},
  };
  std::map<int, std::vector<std::uint8_t>> found;
  for (const Segment& s : headerSegments(savedBytes(noisyPicture(64, 64), 64, 64))) {
    if (s.marker != 0xC4) continue;
    ASSERT_GE(s.body.size(), 17u);
    found[s.body[0]] = std::vector<std::uint8_t>(s.body.begin() + 1, s.body.begin() + 17);
  }
  EXPECT_EQ(found, standard);
}

TEST(JpegStream, TopByteOfTheColourIsIgnored) {
  std::vector<std::int32_t> plain(40, 0x00123456);
  std::vector<std::int32_t> topBits(40, static_cast<std::int32_t>(0xFF123456u));
  topBits[7] = static_cast<std::int32_t>(0x80123456u);
  EXPECT_EQ(savedBytes(plain, 8, 5), savedBytes(topBits, 8, 5));
}

TEST(JpegWriter, OnlyWidthColoursOfEachRowReachTheFile) {
  // The same 5 × 3 picture as rows of 5, and as rows 8 apart with other colours after each one.
  const int width = 5, height = 3, stride = 8;
  std::vector<std::int32_t> packed = noisyPicture(width, height);
  std::vector<std::int32_t> spaced = noisyPicture(stride, height + 1);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) spaced[y * stride + x] = packed[y * width + x];
  }
  TempFolder folder;
  VectorRows packedRows(packed);
  VectorRows spacedRows(spaced, stride);
  JpegWriter packedWriter(packedRows, width, height);
  JpegWriter spacedWriter(spacedRows, width, height);
  ASSERT_EQ(packedWriter.saveJpeg(folder.file("packed.jpg").c_str()), 1);
  ASSERT_EQ(spacedWriter.saveJpeg(folder.file("spaced.jpg").c_str()), 1);
  EXPECT_EQ(folder.read("packed.jpg"), folder.read("spaced.jpg"));
}

TEST(JpegWriter, EachRowIsReadOnceTopRowFirst) {
  std::vector<std::int32_t> pixels = noisyPicture(7, 10);
  TempFolder folder;
  VectorRows rows(pixels);
  JpegWriter writer(rows, 7, 10);
  ASSERT_EQ(writer.saveJpeg(folder.file("rows.jpg").c_str()), 1);
  EXPECT_EQ(rows.preparedWidths, (std::vector<std::int32_t>{7}));
  EXPECT_EQ(rows.rowsRead, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(JpegWriter, AnEmptyPictureReadsNoRows) {
  std::vector<std::int32_t> pixels = noisyPicture(4, 4);
  TempFolder folder;
  VectorRows rows(pixels);
  JpegWriter writer(rows, 4, 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(writer.saveJpeg(folder.file("empty.jpg").c_str()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: Empty JPEG image (DNL not supported)\n");
  EXPECT_TRUE(rows.preparedWidths.empty());
  EXPECT_TRUE(rows.rowsRead.empty());
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

// A source that cannot ready its rows, as when its row buffer cannot be allocated.
struct UnreadableRows final : PixelRows {
  int prepare(std::int32_t) override { return 0; }
  const std::int32_t* row(std::int32_t) override {
    ADD_FAILURE() << "row read although prepare failed";
    return nullptr;
  }
};

TEST(JpegWriter, RowsThatCannotBeReadLeaveTheFileAlone) {
  TempFolder folder;
  std::string name = folder.write("keep.jpg", "previous contents");
  UnreadableRows rows;
  JpegWriter writer(rows, 6, 5);
  testing::internal::CaptureStdout();
  EXPECT_EQ(writer.saveJpeg(name.c_str()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(folder.read("keep.jpg"), "previous contents");
}

void expectColour(const std::uint8_t* rgb, int red, int green, int blue) {
  EXPECT_NEAR(rgb[0], red, 12);
  EXPECT_NEAR(rgb[1], green, 12);
  EXPECT_NEAR(rgb[2], blue, 12);
}

TEST(JpegWriter, FPictureKeepsItsOrientation) {
  DecodedImage image = decodeJpeg(savedBytes(fPicture(), 6, 5));
  ASSERT_EQ(image.width, 6);
  ASSERT_EQ(image.height, 5);
  // Shape from luminance, which is kept at full resolution: red is far brighter than blue.
  for (int y = 0; y < 5; ++y) {
    std::string row;
    for (int x = 0; x < 6; ++x) {
      const std::uint8_t* p = image.at(x, y);
      int luma = (299 * p[0] + 587 * p[1] + 114 * p[2]) / 1000;
      row += luma > 52 ? 'F' : '.';
    }
    EXPECT_EQ(row, kFShape[y]) << "row " << y;
  }
  // Colours where a whole 2 × 2 chroma block is one colour: top-left red, bottom-right blue.
  // Decoders smooth chroma across blocks when they upsample it, so only the dominant channel is
  // certain; swapped channels turn it round.
  struct Probe {
    int x, y;
    bool red;
  };
  for (const Probe& probe :
       {Probe{0, 0, true}, Probe{1, 3, true}, Probe{5, 4, false}, Probe{4, 2, false}}) {
    const std::uint8_t* p = image.at(probe.x, probe.y);
    int redOverBlue = p[0] - p[2];
    EXPECT_GT(probe.red ? redOverBlue : -redOverBlue, 100) << probe.x << "," << probe.y;
  }
}

TEST(JpegWriter, RowsWiderThanSixteenBitsOfBytes) {
  // 21846 pixels take 65538 bytes as three-byte pixels and 87384 as packed colours: more than a
  // 16-bit row length can hold either way.
  const int width = 21846;
  std::vector<std::int32_t> pixels(2 * width, kBlue);
  for (int y = 0; y < 2; ++y) {
    for (int x = width - 16; x < width; ++x) pixels[y * width + x] = kRed;
  }
  DecodedImage image = decodeJpeg(savedBytes(pixels, width, 2));
  ASSERT_EQ(image.width, width);
  expectColour(image.at(0, 0), 0, 0, 255);
  expectColour(image.at(width - 1, 1), 255, 0, 0);
  expectColour(image.at(width - 24, 1), 0, 0, 255);
}

// Records the file's size after every write the destination makes.
struct WriteLog {
  FileHandle file;
  boolean (*fullBlock)(j_compress_ptr);
  void (*lastBlock)(j_compress_ptr);
  std::vector<std::int64_t> sizes;
};
WriteLog* writeLog = nullptr;

boolean loggedFullBlock(j_compress_ptr compressor) {
  boolean result = writeLog->fullBlock(compressor);
  writeLog->sizes.push_back(platform::fileSize(writeLog->file));
  return result;
}

void loggedLastBlock(j_compress_ptr compressor) {
  writeLog->lastBlock(compressor);
  writeLog->sizes.push_back(platform::fileSize(writeLog->file));
}

// Hands the compressor the picture's rows, one at a time, up to row `end`.
void writeRowsUntil(jpeg_compress_struct& compressor, const std::vector<std::int32_t>& pixels,
                    int width, JDIMENSION end) {
  while (compressor.next_scanline < end) {
    auto row = reinterpret_cast<JSAMPROW>(const_cast<std::int32_t*>(pixels.data()) +
                                          compressor.next_scanline * width);
    jpeg_write_scanlines(&compressor, &row, 1);
  }
}

TEST(FileDestination, WholeBlocksThenOneShorterBlock) {
  TempFolder folder;
  const int width = 160, height = 120;
  std::vector<std::int32_t> pixels = noisyPicture(width, height);
  ReplacementFile output;
  ASSERT_TRUE(output.create(folder.file("log.jpg").c_str()));
  WriteLog log{output.file(), nullptr, nullptr, {}};
  writeLog = &log;
  jpeg_compress_struct compressor{};
  jpeg_error_mgr errors{};
  compressor.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compressor);
  setCompressionParameters(&compressor, width, height);
  installFileDestination(&compressor, log.file);
  log.fullBlock = compressor.dest->empty_output_buffer;
  log.lastBlock = compressor.dest->term_destination;
  compressor.dest->empty_output_buffer = loggedFullBlock;
  compressor.dest->term_destination = loggedLastBlock;
  jpeg_start_compress(&compressor, TRUE);
  writeRowsUntil(compressor, pixels, width, compressor.image_height);
  jpeg_finish_compress(&compressor);
  jpeg_destroy_compress(&compressor);
  ASSERT_TRUE(output.commit());
  writeLog = nullptr;

  ASSERT_GE(log.sizes.size(), 3u);
  for (std::size_t i = 0; i + 1 < log.sizes.size(); ++i) {
    EXPECT_EQ(log.sizes[i], static_cast<std::int64_t>(4096 * (i + 1)));
  }
  std::int64_t last = log.sizes.back() - log.sizes[log.sizes.size() - 2];
  EXPECT_GT(last, 0);
  EXPECT_LT(last, 4096);
  EXPECT_EQ(static_cast<std::int64_t>(folder.read("log.jpg").size()), log.sizes.back());
}

TEST(FileDestination, PutOffWritesWaitForTheFlushAndKeepTheirBlocks) {
  TempFolder folder;
  const int width = 320, height = 240;
  std::vector<std::int32_t> pixels = noisyPicture(width, height);
  ReplacementFile output;
  ASSERT_TRUE(output.create(folder.file("deferred.jpg").c_str()));
  jpeg_compress_struct compressor{};
  jpeg_error_mgr errors{};
  compressor.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compressor);
  setCompressionParameters(&compressor, width, height);
  installFileDestination(&compressor, output.file());
  jpeg_start_compress(&compressor, TRUE);
  reserveDeferredOutput(&compressor, 256 * 1024);
  EXPECT_GE(deferredRoom(&compressor), 256u * 1024);
  // Half the rows with writing put off: the file stays empty, the room shrinks by the output.
  deferWrites(&compressor);
  std::size_t room = deferredRoom(&compressor);
  writeRowsUntil(compressor, pixels, width, compressor.image_height / 2);
  EXPECT_EQ(platform::fileSize(output.file()), 0);
  EXPECT_LT(deferredRoom(&compressor), room - 2 * kOutputBlockSize);
  // The flush writes the full blocks kept back; the block being filled waits.
  flushDeferredOutput(&compressor);
  std::int64_t flushed = platform::fileSize(output.file());
  EXPECT_GE(flushed, static_cast<std::int64_t>(2 * kOutputBlockSize));
  EXPECT_EQ(flushed % static_cast<std::int64_t>(kOutputBlockSize), 0);
  writeRowsUntil(compressor, pixels, width, compressor.image_height);
  jpeg_finish_compress(&compressor);
  jpeg_destroy_compress(&compressor);
  ASSERT_TRUE(output.commit());
  EXPECT_EQ(folder.read("deferred.jpg"), savedBytes(pixels, width, height));
}

TEST(FileDestination, DevicesAreRefusedBeforeAnythingIsWritten) {
  // /dev/full would refuse every write and /dev/null would swallow the file: neither is an
  // ordinary file, so neither is opened, written or removed, and the library never starts.
  for (const char* device : {"/dev/full", "/dev/null"}) {
    SCOPED_TRACE(device);
    RecordingMessages messages;
    testing::internal::CaptureStdout();
    int result = saveWithWriter(noisyPicture(160, 120), 160, 120, device);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(messages.traced,
              std::vector<std::string>{std::string("Cannot create file: ") + device});
    EXPECT_TRUE(std::filesystem::exists(device));
  }
}

}  // namespace
