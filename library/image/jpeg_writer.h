// JpegWriter: writes a picture of packed colours as a baseline JFIF file of quality 90 with
// libjpeg-turbo's compressor.
//
// The picture comes from a PixelRows source, one row at a time, top picture row first. A packed
// colour is 0x00RRGGBB in a 32-bit int (bits 24 to 31 ignored); a row of them is handed to the
// compressor as it lies in memory, under the library's blue-green-red-padding input colour space
// (padding-red-green-blue on a big-endian machine). No copy of the whole picture is made: the
// compressor gets the same samples, and so writes the same bytes, as from a three-byte bitmap.
// The stream: JFIF 1.01 with aspect-ratio density 1:1, the standard tables scaled for quality
// 90, YCbCr with chroma halved in both directions, the standard Huffman tables, no restart
// markers.
//
// A fatal error of the library writes "Error: <the library's message>" as one line on standard
// output and never ends the process. The file is written through a ReplacementFile, so a
// failure leaves any previous file of the name as it was.
#pragma once

#include <cstdint>
#include <cstdio>

// jpeglib.h uses size_t and FILE without declaring them.
#include <jpeglib.h>

#include "library/support/file_helpers.h"

constexpr int kJpegQuality = 90;

// Where a JpegWriter's rows come from.
class PixelRows {
 public:
  virtual ~PixelRows() = default;

  // Called once before the first row, for rows of `width` (at least 1) packed colours. 1 when
  // rows can be read; 0 when they cannot (memory for a row could not be had: "Sorry, not enough
  // memory" has been shown).
  virtual int prepare(std::int32_t width) = 0;

  // The packed colours of picture row y (0 is the top row), left to right. Valid until the next
  // call; the compressor only reads them.
  virtual const std::int32_t* row(std::int32_t y) = 0;
};

class JpegWriter {
 public:
  // A picture of width × height packed colours read from `rows`, which must outlive the writer.
  JpegWriter(PixelRows& rows, std::int32_t width, std::int32_t height);
  ~JpegWriter();
  JpegWriter(const JpegWriter&) = delete;
  JpegWriter& operator=(const JpegWriter&) = delete;

  // Writes the picture to the named file, replacing an existing one. 1 when the file was written
  // whole and put in place; 0 when the rows cannot be read, when the file could not be created
  // or put in place (traced only), or when a fatal library error stopped the compression (the
  // line is on standard output). In every case that gives 0, the named file is as it was and
  // nothing else is left. A width or height of 0 or less gives the library's "Empty JPEG image
  // (DNL not supported)"; no row is read then.
  int saveJpeg(const char* name);

  const std::int32_t width;
  const std::int32_t height;
  FileHandle outputFile = kInvalidHandle;  // the file being written, during saveJpeg only

 private:
  PixelRows& rows_;
};

// The input colour space in which a row of packed colours, as it lies in memory, reads as blue,
// green, red and an ignored byte per pixel.
constexpr J_COLOR_SPACE kPackedColourSpace =
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    JCS_EXT_XRGB;
#else
    JCS_EXT_BGRX;
#endif

// The compression parameters of every JPEG this library writes, for a created compressor:
// the picture's size (a negative one counts as 0), rows of packed colours (four bytes per pixel
// in kPackedColourSpace), the library's defaults with YCbCr, quality 90 with baseline tables
// forced.
void setCompressionParameters(j_compress_ptr compressor, std::int32_t width, std::int32_t height);
