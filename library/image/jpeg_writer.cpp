#include "library/image/jpeg_writer.h"

#include <csetjmp>
#include <cstring>

#include "library/image/jpeg_destination.h"
#include "platform/platform.h"

namespace {

// The library's standard error manager and the place that a fatal error returns to.
struct ErrorManager {
  jpeg_error_mgr pub;  // first, so the library's error pointer is this record's address
  std::jmp_buf escape;
};

// Replaces the library's error_exit, which would end the process. The library must not be
// resumed after a fatal error, so this leaves the compression for good.
[[noreturn]] void leaveCompression(j_common_ptr compressor) {
  char text[JMSG_LENGTH_MAX];
  (*compressor->err->format_message)(compressor, text);
  std::printf("Error: %s\n", text);
  std::fflush(stdout);
  std::longjmp(reinterpret_cast<ErrorManager*>(compressor->err)->escape, 1);
}

// The whole compression, from creating the compressor to finishing the file. A fatal error jumps
// back into this frame, which therefore owns no C++ objects (the jump would skip their
// destructors); the caller destroys the compressor either way. False after a fatal error.
bool compress(jpeg_compress_struct* compressor, ErrorManager* errors, JpegWriter* writer) {
  if (setjmp(errors->escape)) return false;
  jpeg_create_compress(compressor);
  setCompressionParameters(compressor, writer->width, writer->height);
  installFileDestination(compressor, writer->outputFile);
  jpeg_start_compress(compressor, TRUE);
  // Only reached for a picture of 1 to 65500 pixels each way: the library refuses other sizes
  // when it starts.
  while (compressor->next_scanline < compressor->image_height) {
    JSAMPROW row = writer->pixelAddress(0, static_cast<std::int32_t>(compressor->next_scanline));
    jpeg_write_scanlines(compressor, &row, 1);
  }
  jpeg_finish_compress(compressor);
  return true;
}

}  // namespace

void setCompressionParameters(j_compress_ptr compressor, std::int32_t width, std::int32_t height) {
  compressor->image_width = static_cast<JDIMENSION>(width < 0 ? 0 : width);
  compressor->image_height = static_cast<JDIMENSION>(height < 0 ? 0 : height);
  compressor->input_components = 3;
  compressor->in_color_space = JCS_EXT_BGR;
  compressor->data_precision = 8;
  jpeg_set_defaults(compressor);
  jpeg_default_colorspace(compressor);
  jpeg_set_quality(compressor, kJpegQuality, TRUE);
}

JpegWriter::~JpegWriter() { closeFile(outputFile); }

void JpegWriter::copyPixels(const std::int32_t* colours) {
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* out = pixelAddress(0, y);
    const std::int32_t* in = colours + static_cast<std::int64_t>(y) * width;
    std::int32_t x = 0;
    // Four pixels at a time as three 32-bit words (blue, green, red, blue, ...): the byte-wise
    // loop costs as much as a third of the compression itself on large pictures.
    for (; x + 4 <= width; x += 4, out += 12) {
      auto a = static_cast<std::uint32_t>(in[x]);
      auto b = static_cast<std::uint32_t>(in[x + 1]);
      auto c = static_cast<std::uint32_t>(in[x + 2]);
      auto d = static_cast<std::uint32_t>(in[x + 3]);
      const std::uint32_t words[3] = {(a & 0xFFFFFFu) | b << 24, (b >> 8 & 0xFFFFu) | c << 16,
                                      (c >> 16 & 0xFFu) | d << 8};
      std::memcpy(out, words, sizeof words);
    }
    for (; x < width; ++x, out += 3) {
      auto value = static_cast<std::uint32_t>(in[x]);
      out[0] = static_cast<std::uint8_t>(value);
      out[1] = static_cast<std::uint8_t>(value >> 8);
      out[2] = static_cast<std::uint8_t>(value >> 16);
    }
  }
}

int JpegWriter::saveJpeg(const char* name) {
  if (width > 0 && height > 0 && !pixels) return 0;
  outputFile = createForWriting(name, true);
  if (outputFile == kInvalidHandle) return 0;

  // Zeroed, so that destroying is safe even when creating the compressor failed half-way.
  jpeg_compress_struct compressor{};
  ErrorManager errors{};
  compressor.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = leaveCompression;

  bool finished = compress(&compressor, &errors, this);
  jpeg_destroy_compress(&compressor);

  // A file cut short by a fatal error would still look like a JPEG to a casual reader. Only an
  // ordinary file is removed: a device the caller named is not ours to unlink.
  bool removeIt = !finished && platform::isRegularFile(outputFile);
  closeFile(outputFile);
  outputFile = kInvalidHandle;
  if (removeIt) platform::removeFile(name);
  return finished ? 1 : 0;
}
