// The JPEG export against the reference pipeline: the picture copied into a three-byte bottom-up
// Bitmap, then each row handed to the compressor as red, green, blue with the export's
// parameters. The export reads the packed colours directly instead; its files must be the same
// bytes, whatever the width's remainder against the compressor's 16-pixel blocks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "fakes/temp_folder.h"
#include "fakes/test_string.h"
#include "library/exports/exports.h"
#include "library/image/bitmap.h"
#include "library/image/jpeg_test_support.h"

namespace {

// The reference: Bitmap with pixelFormat 2 (blue, green, red bytes), rows swapped into a scratch
// row of red, green, blue for the library's plain RGB input, compressed into memory.
std::string referenceJpeg(const std::vector<std::int32_t>& colours, int width, int height) {
  Bitmap bitmap;
  bitmap.setFormat(width, height, 2);
  if (!bitmap.allocatePixels()) return {};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      auto value = static_cast<std::uint32_t>(colours[static_cast<std::size_t>(y) * width + x]);
      std::uint8_t* pixel = bitmap.pixelAddress(x, y);
      pixel[0] = static_cast<std::uint8_t>(value);
      pixel[1] = static_cast<std::uint8_t>(value >> 8);
      pixel[2] = static_cast<std::uint8_t>(value >> 16);
    }
  }

  jpeg_compress_struct compressor{};
  jpeg_error_mgr errors{};
  compressor.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compressor);
  compressor.image_width = static_cast<JDIMENSION>(width);
  compressor.image_height = static_cast<JDIMENSION>(height);
  compressor.input_components = 3;
  compressor.in_color_space = JCS_RGB;
  compressor.data_precision = 8;
  jpeg_set_defaults(&compressor);
  jpeg_default_colorspace(&compressor);
  jpeg_set_quality(&compressor, 90, TRUE);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&compressor, &buffer, &size);
  jpeg_start_compress(&compressor, TRUE);
  std::vector<std::uint8_t> scratch(static_cast<std::size_t>(width) * 3);
  while (compressor.next_scanline < compressor.image_height) {
    const std::uint8_t* pixel = bitmap.pixelAddress(0, static_cast<int>(compressor.next_scanline));
    for (int x = 0; x < width; ++x, pixel += 3) {
      scratch[x * 3] = pixel[2];
      scratch[x * 3 + 1] = pixel[1];
      scratch[x * 3 + 2] = pixel[0];
    }
    JSAMPROW row = scratch.data();
    jpeg_write_scanlines(&compressor, &row, 1);
  }
  jpeg_finish_compress(&compressor);
  jpeg_destroy_compress(&compressor);
  std::string jpeg(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return jpeg;
}

// Random colours with random top bytes, which neither path may let through.
std::vector<std::int32_t> randomPicture(int width, int height, std::mt19937& random) {
  std::vector<std::int32_t> colours(static_cast<std::size_t>(width) * height);
  for (std::int32_t& colour : colours) colour = static_cast<std::int32_t>(random());
  return colours;
}

std::string exportedJpeg(const std::vector<std::int32_t>& colours, int width, int height) {
  TempFolder folder;
  PixelArray array(colours);
  TestString name = TestString::latin1(folder.file("export.jpg"));
  EXPECT_EQ(Kestrilo_saveJPEG(nullptr, name.handle(), array.object(), width, height), 1);
  return folder.read("export.jpg");
}

TEST(JpegReference, EveryWidthFrom1To33WithOddHeights) {
  std::mt19937 random(20240611);
  for (int width = 1; width <= 33; ++width) {
    for (int height : {1, 3, 5, 9, 17, 31}) {
      SCOPED_TRACE(testing::Message() << width << "x" << height);
      std::vector<std::int32_t> colours = randomPicture(width, height, random);
      std::string reference = referenceJpeg(colours, width, height);
      ASSERT_GT(reference.size(), 100u);
      EXPECT_EQ(exportedJpeg(colours, width, height), reference);
    }
  }
}

TEST(JpegReference, WideAndLargePictures) {
  struct Case {
    int width, height;
  };
  std::mt19937 random(7);
  // Wider than a 16-bit row of three-byte pixels; several output blocks; a photo-sized width;
  // pictures read in several bands of rows (1 MB of pixels each), narrow and wide.
  for (const Case& c :
       {Case{21847, 3}, Case{333, 215}, Case{4001, 9}, Case{1000, 700}, Case{21847, 40}}) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    std::vector<std::int32_t> colours = randomPicture(c.width, c.height, random);
    std::string reference = referenceJpeg(colours, c.width, c.height);
    ASSERT_GT(reference.size(), 4096u);
    EXPECT_EQ(exportedJpeg(colours, c.width, c.height), reference);
  }
}

TEST(JpegReference, SmoothPictureWithTheFShape) {
  // Random colours exercise the quantiser's extremes; a smooth picture its ordinary range.
  const int width = 97, height = 61;
  std::vector<std::int32_t> colours;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      bool inF = kFShape[y * 5 / height][x * 6 / width] == 'F';
      colours.push_back(inF ? kRed : (x * 2) << 16 | (y * 4) << 8 | (x + y));
    }
  }
  EXPECT_EQ(exportedJpeg(colours, width, height), referenceJpeg(colours, width, height));
}

}  // namespace
