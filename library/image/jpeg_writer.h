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

#include <cstddef>
#include <cstdint>
#include <cstdio>

// jpeglib.h uses size_t and FILE without declaring them.
#include <jpeglib.h>

#include "library/support/file_helpers.h"

constexpr int kJpegQuality = 90;

// The most pixel bytes (four per pixel) that one band of rows holds, at least one row: see
// PixelRows::beginBand.
constexpr std::size_t kBandBytes = std::size_t{1} << 20;

// How many rows of `width` packed colours one band holds at most (at least 1).
std::int32_t rowsPerBand(std::int32_t width);

// Where a JpegWriter's rows come from.
//
// The rows are read in bands: beginBand, the band's rows one after another with row, endBand.
// Between beginBand and endBand the writer only compresses: it writes no file, shows and prints
// no message and takes no lock (its output and any fatal error wait for endBand). That is what
// lets a source hold memory in place that something else waits for (a Java array the garbage
// collector may not move) for no longer than one band takes to compress.
class PixelRows {
 public:
  virtual ~PixelRows() = default;

  // Called once before the first band, for rows of `width` (at least 1) packed colours. 1 when
  // rows can be read; 0 when they cannot (memory for a row could not be had: "Sorry, not enough
  // memory" has been shown).
  virtual int prepare(std::int32_t width) = 0;

  // Rows `first` to at most first + count - 1 (count is at most rowsPerBand(width)) are about
  // to be read; fewer when the writer ends the band early.
  virtual void beginBand(std::int32_t first, std::int32_t count) {
    (void)first;
    (void)count;
  }

  // The packed colours of picture row y (0 is the top row), left to right, inside a band.
  // Valid until the next call; the compressor only reads them.
  virtual const std::int32_t* row(std::int32_t y) = 0;

  // The band is over. Also called, once more, after a fatal error; must then do nothing when no
  // band is open.
  virtual void endBand() {}
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
