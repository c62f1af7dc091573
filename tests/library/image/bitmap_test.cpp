#include "library/image/bitmap.h"

#include <gtest/gtest.h>

#include "fakes/recording_services.h"

namespace {

struct LayoutCase {
  std::int32_t width, height, format;
  std::int32_t bytesPerPixel, rowBytes, stride, size;
};

TEST(Bitmap, SetFormatDerivesTheLayout) {
  const LayoutCase cases[] = {
      {1, 1, 1, 1, 1, 4, 4},          {3, 7, 1, 1, 3, 4, 28},
      {4, 2, 2, 3, 12, 12, 24},       {5, 2, 2, 3, 15, 16, 32},
      {65532, 1, 1, 1, 65532, 65532, 65532},
      // Rows wider than 16 bits of stride are held, not wrapped.
      {21845, 2, 2, 3, 65535, 65536, 131072},
      {0, 5, 1, 1, 0, 0, 0},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " format " << c.format);
    Bitmap bitmap;
    bitmap.setFormat(c.width, c.height, c.format);
    EXPECT_EQ(bitmap.bytesPerPixel, c.bytesPerPixel);
    EXPECT_EQ(bitmap.rowBytes, c.rowBytes);
    EXPECT_EQ(bitmap.stride, c.stride);
    EXPECT_EQ(bitmap.size, c.size);
  }
}

TEST(Bitmap, SizesBeyond32BitsAreRefused) {
  RecordingMessages messages;
  Bitmap bitmap;
  bitmap.setFormat(60000, 60000, 1);
  EXPECT_EQ(bitmap.size, -1);
  EXPECT_EQ(bitmap.allocatePixels(), 0);
  bitmap.setFormat(0x7FFFFFFF, 1, 2);
  EXPECT_EQ(bitmap.size, -1);
  EXPECT_EQ(bitmap.allocatePixels(), 0);
}

TEST(Bitmap, ConstructionIsEmpty) {
  Bitmap bitmap;
  EXPECT_EQ(bitmap.pixels, nullptr);
  EXPECT_EQ(bitmap.palette, nullptr);
  EXPECT_EQ(bitmap.reader.buffer, nullptr);
  EXPECT_EQ(bitmap.bottomUp, 1);
  EXPECT_EQ(bitmap.transparentSet, 0);
}

TEST(Bitmap, PixelAddressIsBottomUp) {
  Bitmap bitmap;
  bitmap.setFormat(5, 4, 2);
  ASSERT_EQ(bitmap.allocatePixels(), 1);
  EXPECT_EQ(bitmap.pixelAddress(0, 0), bitmap.pixels + 3 * bitmap.stride);
  EXPECT_EQ(bitmap.pixelAddress(0, 3), bitmap.pixels);
  EXPECT_EQ(bitmap.pixelAddress(2, 1), bitmap.pixels + 2 * bitmap.stride + 6);
  EXPECT_EQ(bitmap.rowCursor, bitmap.pixels + 2 * bitmap.stride + 6);
  std::uint8_t* next = bitmap.nextRow();
  EXPECT_EQ(next, bitmap.pixelAddress(2, 2));
}

TEST(Bitmap, TopDownWhenNotBottomUp) {
  Bitmap bitmap;
  bitmap.bottomUp = 0;
  bitmap.setFormat(3, 3, 1);
  ASSERT_EQ(bitmap.allocatePixels(), 1);
  EXPECT_EQ(bitmap.pixelAddress(1, 0), bitmap.pixels + 1);
  EXPECT_EQ(bitmap.nextRow(), bitmap.pixels + 4 + 1);
}

TEST(Bitmap, AllocationsAreZeroedAndIdempotent) {
  Bitmap bitmap;
  bitmap.setFormat(3, 2, 1);
  ASSERT_EQ(bitmap.allocatePixels(), 1);
  ASSERT_EQ(bitmap.allocatePalette(), 1);
  for (int i = 0; i < bitmap.size; ++i) EXPECT_EQ(bitmap.pixels[i], 0);
  for (int i = 0; i < 768; ++i) EXPECT_EQ(bitmap.palette[i], 0);
  std::uint8_t* first = bitmap.pixels;
  std::uint8_t* firstPalette = bitmap.palette;
  bitmap.setFormat(300, 200, 2);
  EXPECT_EQ(bitmap.allocatePixels(), 1);
  EXPECT_EQ(bitmap.pixels, first);
  EXPECT_EQ(bitmap.allocatePalette(), 1);
  EXPECT_EQ(bitmap.palette, firstPalette);
}

TEST(Bitmap, AllocationFailureReportsAndKeepsNothing) {
  RecordingMessages messages;
  FailingMemory memory;
  Bitmap bitmap;
  bitmap.setFormat(4, 4, 1);
  EXPECT_EQ(bitmap.allocatePixels(), 0);
  EXPECT_EQ(bitmap.allocatePalette(), 0);
  EXPECT_EQ(bitmap.ownsPixels, 0);
  EXPECT_EQ(bitmap.ownsPalette, 0);
  EXPECT_EQ(messages.shown.size(), 2u);
}

}  // namespace
