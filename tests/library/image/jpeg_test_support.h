// Shared pieces of the JPEG tests: Java-style pixel arrays, a row source over a vector, the "F"
// picture, a decoder that reads a JPEG back into RGB samples, and a walker over the stream's
// markers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// jpeglib.h uses size_t and FILE without declaring them.
#include <jpeglib.h>

#include "library/boundary/java_array.h"
#include "library/image/jpeg_writer.h"

// An int[] as the boundary hands it over: the 8-byte header, then the elements.
class PixelArray {
 public:
  explicit PixelArray(const std::vector<std::int32_t>& elements) {
    words_.push_back(0);
    words_.push_back(static_cast<std::int32_t>(elements.size()));
    words_.insert(words_.end(), elements.begin(), elements.end());
  }
  const ArrayObject* object() const { return reinterpret_cast<const ArrayObject*>(words_.data()); }

 private:
  std::vector<std::int32_t> words_;
};

// A picture's packed colours, top row first, `stride` colours from one row to the next (the
// width when 0), handed out a row at a time where they lie; records what the writer asked for.
class VectorRows final : public PixelRows {
 public:
  explicit VectorRows(const std::vector<std::int32_t>& colours, std::int32_t stride = 0)
      : colours_(colours), stride_(stride) {}
  int prepare(std::int32_t width) override {
    preparedWidths.push_back(width);
    if (stride_ == 0) stride_ = width;
    return 1;
  }
  const std::int32_t* row(std::int32_t y) override {
    rowsRead.push_back(y);
    return colours_.data() + static_cast<std::size_t>(y) * stride_;
  }

  std::vector<std::int32_t> preparedWidths;
  std::vector<std::int32_t> rowsRead;

 private:
  const std::vector<std::int32_t>& colours_;
  std::int32_t stride_;
};

constexpr std::int32_t kRed = 0x00FF0000;
constexpr std::int32_t kBlue = 0x000000FF;

// 6 × 5, red "F" on blue: no symmetry, so a flip or a mirror changes it. Every 2 × 2 block
// of the left two columns is all red, and the blocks at columns 4-5 from row 2 down all blue,
// so their colours survive halved chroma.
inline const char* const kFShape[5] = {
    "FFFFF.", "FF....", "FFFF..", "FF....", "FF....",
};

inline std::vector<std::int32_t> fPicture() {
  std::vector<std::int32_t> pixels;
  for (const char* row : kFShape) {
    for (int x = 0; x < 6; ++x) pixels.push_back(row[x] == 'F' ? kRed : kBlue);
  }
  return pixels;
}

struct DecodedImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // top row first
  const std::uint8_t* at(int x, int y) const {
    return rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
  }
};

// Decodes with libjpeg's decompressor; an empty image when the data is no JPEG.
inline DecodedImage decodeJpeg(const std::string& data) {
  DecodedImage image;
  if (data.size() < 4) return image;
  jpeg_decompress_struct decompressor{};
  jpeg_error_mgr errors{};
  decompressor.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&decompressor);
  jpeg_mem_src(&decompressor, reinterpret_cast<const unsigned char*>(data.data()),
               static_cast<unsigned long>(data.size()));
  jpeg_read_header(&decompressor, TRUE);
  decompressor.out_color_space = JCS_RGB;
  jpeg_start_decompress(&decompressor);
  image.width = static_cast<int>(decompressor.output_width);
  image.height = static_cast<int>(decompressor.output_height);
  image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
  while (decompressor.output_scanline < decompressor.output_height) {
    JSAMPROW row =
        image.rgb.data() + static_cast<std::size_t>(decompressor.output_scanline) * image.width * 3;
    jpeg_read_scanlines(&decompressor, &row, 1);
  }
  jpeg_finish_decompress(&decompressor);
  jpeg_destroy_decompress(&decompressor);
  return image;
}

struct Segment {
  int marker;                      // the byte after 0xFF
  std::vector<std::uint8_t> body;  // after the length field
};

// The marker segments from SOI up to and including SOS; the entropy-coded data is not walked.
inline std::vector<Segment> headerSegments(const std::string& data) {
  std::vector<Segment> segments;
  auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(data[i]); };
  if (data.size() < 2 || byte(0) != 0xFF || byte(1) != 0xD8) return segments;
  segments.push_back({0xD8, {}});
  std::size_t at = 2;
  while (at + 4 <= data.size() && byte(at) == 0xFF) {
    int marker = byte(at + 1);
    std::size_t length = static_cast<std::size_t>(byte(at + 2)) << 8 | byte(at + 3);
    if (length < 2 || at + 2 + length > data.size()) break;
    segments.push_back(
        {marker, std::vector<std::uint8_t>(data.begin() + at + 4, data.begin() + at + 2 + length)});
    if (marker == 0xDA) break;
    at += 2 + length;
  }
  return segments;
}
