// JpegWriter: a Bitmap of three bytes per pixel (pixelFormat 2) that is written as a baseline
// JFIF file of quality 90 by libjpeg-turbo's compressor.
//
// Pixel bytes are blue, green, red (the packed colour 0x00RRGGBB in little-endian order); the
// rows go to the compressor unchanged, top picture row first, under the library's blue-green-red
// input colour space. The stream: JFIF 1.01 with aspect-ratio density 1:1, the standard tables
// scaled for quality 90, YCbCr with chroma halved in both directions, the standard Huffman
// tables, no restart markers.
//
// A fatal error of the library writes "Error: <the library's message>" as one line on standard
// output and never ends the process; the half-written file is then removed.
#pragma once

#include <cstdint>
#include <cstdio>

// jpeglib.h uses size_t and FILE without declaring them.
#include <jpeglib.h>

#include "library/image/bitmap.h"
#include "library/support/file_helpers.h"

constexpr int kJpegQuality = 90;
constexpr std::int32_t kJpegPixelFormat = 2;

class JpegWriter : public Bitmap {
 public:
  JpegWriter() = default;
  ~JpegWriter() override;

  // Copies width × height packed colours, top row first and each row left to right, into the
  // pixel block (which must be allocated); bits 24 to 31 are ignored. Reads exactly
  // width × height elements.
  void copyPixels(const std::int32_t* colours);

  // Writes the pixels to the named file, replacing an existing one. 1 when the file was written
  // whole; 0 when it could not be created (nothing shown, nothing left behind), when a fatal
  // library error stopped the compression (the line is on standard output and the file is
  // removed), or when a non-empty picture has no pixel block (no file is created then). A width
  // or height of 0 or less gives the library's "Empty JPEG image (DNL not supported)".
  int saveJpeg(const char* name);

  FileHandle outputFile = kInvalidHandle;  // open only during saveJpeg
};

// The compression parameters of every JPEG this library writes, for a created compressor:
// the picture's size (a negative one counts as 0), three components of blue-green-red input,
// the library's defaults with YCbCr, quality 90 with baseline tables forced.
void setCompressionParameters(j_compress_ptr compressor, std::int32_t width, std::int32_t height);
