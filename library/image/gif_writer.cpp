// Writing a GifImage as a one-image GIF89a file: header and global colour table, the optional
// looping and graphic control extensions, one interlaced image covering the whole screen, and
// the trailer.
#include <cstring>

#include "library/image/gif_colour_table.h"
#include "library/image/gif_image.h"
#include "library/image/lzw_encoder.h"
#include "library/support/replacement_file.h"
#include "library/support/reporting.h"
#include "platform/common/endian.h"

namespace {

constexpr std::uint8_t kLoopingExtension[19] = {0x21, 0xFF, 0x0B, 'N',  'E', 'T', 'S',
                                                'C',  'A',  'P',  'E',  '2', '.', '0',
                                                0x03, 0x01, 0x00, 0x00, 0x00};

}  // namespace

// Only the highest set bit of the highest index matters, and it is the highest set bit of all
// indices OR-ed together, so the block (padding included, which is zero) is folded eight bytes at a
// time and the scan stops once bit 7 has turned up: the full table is then needed anyway.
std::int32_t colourTableCode(const GifImage& image) {
  std::uint32_t bits = 0xFF;
  if (!image.fullPalette) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    const std::uint8_t* at = image.pixels;
    const std::uint8_t* end = image.pixels + image.size;
    std::uint64_t folded = 0;
    constexpr std::int32_t kChunk = 4096;
    while (end - at >= 8 && !(folded & kHighBits)) {
      const std::uint8_t* chunkEnd = end - at > kChunk ? at + kChunk : end;
      for (; chunkEnd - at >= 8; at += 8) {
        std::uint64_t word;
        std::memcpy(&word, at, sizeof word);
        folded |= word;
      }
    }
    // The last few bytes, unless bit 7 has turned up already.
    for (; at < end && !(folded & kHighBits); ++at) folded |= *at;
    for (bits = 0; folded != 0; folded >>= 8) bits |= folded & 0xFF;
  }
  std::int32_t code = 7;
  while (code > 0 && !(bits & (1u << code))) --code;
  return code;
}

int GifImage::saveGif(const char* name, const platform::FileIdentity* read) {
  if (pixelFormat != 1) {
    showError("GIF requires 256 color format");
    return 0;
  }
  // A GIF screen is at most 65535 pixels each way, and an empty one has no pixel to encode.
  if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF || !pixels || !palette) {
    traceMessage("Bad format: ", name);
    return 0;
  }
  // The file is written beside the named one and takes its place only once it is whole: a full
  // disk or a failing write must not cost the user the file that was there.
  ReplacementFile replacement;
  if (!replacement.create(name, read)) return 0;
  const bool written = writeGif(replacement.file());
  return written && replacement.commit() ? 1 : 0;
}

bool GifImage::writeGif(FileHandle file) {
  if (pixelFormat != 1 || width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF ||
      !pixels || !palette) {
    return false;
  }
  std::memcpy(header.signature, "GIF89a", 6);
  byte_order::put16(header.screenWidth, width);
  byte_order::put16(header.screenHeight, height);
  header.background = 0;
  header.aspect = 0;

  outputFile = file;
  bool written;
  {
    GifOutput output(outputFile);
    std::int32_t tableCode = colourTableCode(*this);
    header.packed = static_cast<std::uint8_t>(0x80 + tableCode);
    output.put(&header, sizeof header);
    output.put(palette, 3 << (tableCode + 1));
    if (loopForever) output.put(kLoopingExtension, sizeof kLoopingExtension);
    writeImage(output);
    output.putByte(0x3B);
    written = output.flush();
  }
  outputFile = kInvalidHandle;
  return written;
}

void GifImage::writeImage(GifOutput& output) {
  if (transparentSet == 1 || frameRate != 0) {
    std::int32_t delay = frameRate != 0 ? 100 / frameRate : 0;
    const std::uint8_t control[8] = {
        0x21,
        0xF9,
        0x04,
        static_cast<std::uint8_t>((transparentSet ? 0x01 : 0x00) | (fillBeforeDecode ? 0x08 : 0)),
        static_cast<std::uint8_t>(delay),
        static_cast<std::uint8_t>(delay >> 8),
        transparentIndex,
        0x00};
    output.put(control, sizeof control);
  }
  byte_order::put16(descriptor.left, 0);
  byte_order::put16(descriptor.top, 0);
  byte_order::put16(descriptor.width, width);
  byte_order::put16(descriptor.height, height);
  descriptor.packed = 0x40;
  output.putByte(0x2C);
  output.put(&descriptor, sizeof descriptor);
  encodeLzw(output);
}

void GifImage::encodeLzw(GifOutput& output) {
  // About 25 KB of tables: the encoder of this one save, on its stack.
  LzwEncoder encoder(output);
  encoder.start();
  static constexpr std::int32_t kPassStart[4] = {0, 4, 2, 1};
  static constexpr std::int32_t kPassStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (std::int32_t row = kPassStart[pass]; row < height; row += kPassStep[pass]) {
      encoder.addPixels(pixelAddress(0, row), width);
    }
  }
  encoder.finish();
}
