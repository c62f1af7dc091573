// The in-memory image of the image services: a pixel block of rows padded to a multiple of 4
// bytes and stored bottom-up (the last picture row first), a 256-entry RGB palette, and a
// transparency pair. Callers address pixels top-down: y = 0 is the top picture row.
//
// pixelFormat 1 is one byte per pixel, an index into the palette; any other value is three
// bytes per pixel. The stride is rowBytes rounded up to a multiple of 4; it is kept in 32 bits,
// so rows wider than 65532 bytes are held correctly rather than wrapping.
#pragma once

#include <cstdint>

#include "library/support/byte_reader.h"

class Bitmap {
 public:
  Bitmap();
  virtual ~Bitmap();
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;

  // Stores the format and derives bytesPerPixel, rowBytes, stride and size. The pixel block is
  // not touched. Sizes that do not fit in 32 bits leave size at -1, which allocatePixels refuses.
  void setFormat(std::int32_t width, std::int32_t height, std::int32_t pixelFormat);

  // 1 once the zero-filled pixel block of `size` bytes is held (a second call keeps the first
  // block, even after a new setFormat); 0 when it cannot be allocated ("Sorry, not enough
  // memory" has been shown) or the format's size is invalid.
  int allocatePixels();

  // 1 once the 768-byte zero-filled palette is held; 0 when it cannot be allocated.
  int allocatePalette();

  // The address of pixel (x, y), also kept in rowCursor. Callers keep 0 <= x < width and
  // 0 <= y < height.
  virtual std::uint8_t* pixelAddress(std::int32_t x, std::int32_t y);

  // rowCursor moved to the same column one picture row further down.
  std::uint8_t* nextRow();

  ByteReader reader;                  // the file being loaded, for derived readers
  std::uint8_t* pixels = nullptr;     // size bytes
  std::uint8_t* rowCursor = nullptr;  // the pixel most recently addressed
  std::uint8_t* palette = nullptr;    // 256 RGB triples
  std::int32_t size = 0;              // stride × height
  std::int32_t ownsPixels = 0;
  std::int32_t ownsPalette = 0;
  std::int32_t bottomUp = 1;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t pixelFormat = 0;
  std::int32_t bytesPerPixel = 0;
  std::int32_t rowBytes = 0;
  std::int32_t stride = 0;
  std::int32_t transparentSet = 0;
  std::uint8_t transparentIndex = 0;
};
