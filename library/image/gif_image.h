// GifImage: the Bitmap that reads and writes GIF files.
//
// Reading (gif_reader.cpp) leaves the whole logical screen of the file in the Bitmap as 8-bit
// palette indices: the selected image decoded into its rectangle, every other pixel index 0 (or
// the fill value), the colour table in `palette`, and the transparency and disposal hints of the
// graphic control extensions met on the way. Only the selected image is decoded; images before it
// are passed over, images after it are never looked at.
//
// Writing (gif_writer.cpp) produces a one-image GIF89a file: one interlaced image covering the
// whole screen, a global colour table sized to the highest pixel index in use, LZW minimum code
// size 8.
//
// A GifImage serves one load and at most one save; it is not shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "library/image/bitmap.h"
#include "library/image/gif_output.h"
#include "library/support/file_helpers.h"

// The signature and logical screen descriptor, exactly as stored in the file (13 bytes).
struct GifHeader {
  std::uint8_t signature[6];     // "GIF" and a version; only "GIF" is checked
  std::uint8_t screenWidth[2];   // little-endian
  std::uint8_t screenHeight[2];  // little-endian
  std::uint8_t packed;           // bit 7: global colour table; bits 0-2: its size code
  std::uint8_t background;
  std::uint8_t aspect;
};
static_assert(sizeof(GifHeader) == 13, "GifHeader is the 13 bytes of the file");

// An image descriptor as stored after the image separator ',' (9 bytes).
struct ImageDescriptor {
  std::uint8_t left[2];
  std::uint8_t top[2];
  std::uint8_t width[2];
  std::uint8_t height[2];
  std::uint8_t packed;  // bit 7: local colour table; bit 6: interlaced; bits 0-2: table size code
};
static_assert(sizeof(ImageDescriptor) == 9, "ImageDescriptor is the 9 bytes of the file");

// The widest screen a Bitmap row of one byte per pixel is allowed to hold.
constexpr std::int32_t kMaxGifScreenWidth = 65532;

// The most pixels a screen may have: 2^28 (16384 × 16384, a 256 MB block). Every call's memory
// and work are bounded by it: the pixel block, the fill, the decoding (which stops after the
// block's size) and the rewrite of the screen.
constexpr std::int64_t kMaxGifScreenPixels = std::int64_t{1} << 28;

class GifImage : public Bitmap {
 public:
  GifImage();
  ~GifImage() override;

  // --- Reading --------------------------------------------------------------------------------

  // Loads the named file and decodes the image with the zero-based index `frameIndex`. 1 when
  // that image was found and decoded (decoder errors inside its data, shown as "Gif decoder",
  // still give 1 with the pixels decoded so far); 0 when the file cannot be read or is not a
  // GIF (refused after its first three bytes, "Bad format: " and the name traced), when the
  // screen is empty or wider than kMaxGifScreenWidth, when it has more than kMaxGifScreenPixels
  // pixels ("Sorry, not enough memory" shown, nothing large allocated), when the image is empty,
  // when the file has no such image, or when the file ends before a header, block introducer,
  // extension, descriptor or colour table is complete. The file's block is released either way.
  int loadGif(const char* name, std::int32_t frameIndex);

  // As loadGif, over `size` bytes in memory (the bytes are copied).
  int loadGifFromMemory(const void* data, std::size_t size, std::int32_t frameIndex);

  int readGifHeader(const char* name);
  int seekFrame(std::int32_t frameIndex);
  int skipFrame();
  int decodeFrame();
  int readExtension();
  int skipSubBlocks();
  void decodeLzw(std::int32_t left, std::int32_t top, std::int32_t imageWidth,
                 std::int32_t imageHeight);

  // --- Writing --------------------------------------------------------------------------------

  // Writes the Bitmap as a one-image GIF89a file through a ReplacementFile: a failure leaves
  // whatever file had the name as it was, and nothing else behind. 1 when the file was written; 0
  // when pixelFormat is not 1 ("GIF requires 256 color format" shown), when the Bitmap is empty or
  // larger than a GIF screen, when the file cannot be created (traced only), or when a write failed
  // ("Cannot write file" shown).
  // `read`, when given, is the identity of the file the picture was read from (readIdentity):
  // the file is not replaced when the name no longer stands for it as it was read.
  int saveGif(const char* name, const platform::FileIdentity* read = nullptr);

  // The bytes saveGif writes, to an open file; false when a write failed ("Cannot write file"
  // shown) or when the Bitmap is not one that saveGif accepts (nothing written, no message).
  bool writeGif(FileHandle file);

  // The graphic control extension, the image descriptor and the image data.
  void writeImage(GifOutput& output);

  // The LZW minimum code size byte and the data sub-blocks, closing zero-length block included:
  // width × height pixels in interlaced row order.
  void encodeLzw(GifOutput& output);

  FileHandle outputFile = kInvalidHandle;  // the file being written by saveGif, else invalid
  platform::FileIdentity readIdentity;     // of the file loadGif read
  std::int32_t framesPassed = 0;
  GifHeader header{};
  ImageDescriptor descriptor{};
  std::int32_t loopForever = 0;  // writing option: a NETSCAPE2.0 looping extension
  std::int32_t fullPalette = 0;  // writing option: always 256 colour table entries
  std::int32_t frameRate = 0;    // writing option: frames per second for the delay time
  std::int32_t fillBeforeDecode = 0;

 private:
  int parseGifHeader(const char* name);
  // Reads a colour table into the palette when `packed` announces one (a smaller table replaces
  // only the first entries); 0 when the file ends inside it.
  int readColourTable(std::uint8_t packed);
  // Reads an image descriptor and its local colour table; 0 when the file ends inside them.
  int readImageDescriptor();
  int load(std::int32_t frameIndex, const char* name);
};
