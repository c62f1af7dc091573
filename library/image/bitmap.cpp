#include "library/image/bitmap.h"

#include "library/support/checked_size.h"
#include "library/support/memory_helpers.h"

Bitmap::Bitmap() = default;

Bitmap::~Bitmap() {
  if (ownsPixels) freeGlobalBlock(pixels);
  if (ownsPalette) freeGlobalBlock(palette);
}

void Bitmap::setFormat(std::int32_t newWidth, std::int32_t newHeight, std::int32_t newPixelFormat) {
  width = newWidth;
  height = newHeight;
  pixelFormat = newPixelFormat;
  bytesPerPixel = pixelFormat == 1 ? 1 : 3;
  std::optional<std::int32_t> row = checkedMultiply(width, bytesPerPixel);
  std::optional<std::int32_t> padded = row ? checkedAdd(*row, 3) : std::nullopt;
  if (!padded) {
    rowBytes = stride = size = -1;
    return;
  }
  rowBytes = *row;
  stride = *padded & ~3;
  size = checkedMultiply(stride, height).value_or(-1);
}

int Bitmap::allocatePixels() {
  if (ownsPixels) return 1;
  if (size < 0) return 0;
  auto* block = static_cast<std::uint8_t*>(
      allocGlobalBlock(static_cast<std::size_t>(size), kGlobalMovable | kGlobalZeroFill));
  if (!block) return 0;
  pixels = rowCursor = block;
  ownsPixels = 1;
  return 1;
}

int Bitmap::allocatePalette() {
  if (ownsPalette) return 1;
  auto* block = static_cast<std::uint8_t*>(allocGlobalBlock(768, kGlobalMovable | kGlobalZeroFill));
  if (!block) return 0;
  palette = block;
  ownsPalette = 1;
  return 1;
}

std::uint8_t* Bitmap::pixelAddress(std::int32_t x, std::int32_t y) {
  std::int64_t row = bottomUp ? height - 1 - y : y;
  rowCursor = pixels + row * stride + static_cast<std::int64_t>(x) * bytesPerPixel;
  return rowCursor;
}

std::uint8_t* Bitmap::nextRow() {
  rowCursor = bottomUp ? rowCursor - stride : rowCursor + stride;
  return rowCursor;
}
