#include "library/image/jpeg_writer.h"

#include <jerror.h>

#include <csetjmp>

#include "library/image/jpeg_destination.h"
#include "library/support/replacement_file.h"

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
bool compress(jpeg_compress_struct* compressor, ErrorManager* errors, FileHandle file,
              PixelRows* rows, std::int32_t width, std::int32_t height) {
  if (setjmp(errors->escape)) return false;
  jpeg_create_compress(compressor);
  setCompressionParameters(compressor, width, height);
  installFileDestination(compressor, file);
  jpeg_start_compress(compressor, TRUE);
  // Only reached for a picture of 1 to 65500 pixels each way: the library refuses other sizes
  // when it starts. Each row goes over as the source holds it: the library reads the packed
  // colours in kPackedColourSpace and never writes to its input.
  while (compressor->next_scanline < compressor->image_height) {
    const std::int32_t* colours = rows->row(static_cast<std::int32_t>(compressor->next_scanline));
    auto row = reinterpret_cast<JSAMPROW>(const_cast<std::int32_t*>(colours));
    jpeg_write_scanlines(compressor, &row, 1);
  }
  jpeg_finish_compress(compressor);
  return true;
}

}  // namespace

void setCompressionParameters(j_compress_ptr compressor, std::int32_t width, std::int32_t height) {
  compressor->image_width = static_cast<JDIMENSION>(width < 0 ? 0 : width);
  compressor->image_height = static_cast<JDIMENSION>(height < 0 ? 0 : height);
  compressor->input_components = 4;
  compressor->in_color_space = kPackedColourSpace;
  compressor->data_precision = 8;
  jpeg_set_defaults(compressor);
  jpeg_default_colorspace(compressor);
  jpeg_set_quality(compressor, kJpegQuality, TRUE);
}

JpegWriter::JpegWriter(PixelRows& rows, std::int32_t pictureWidth, std::int32_t pictureHeight)
    : width(pictureWidth), height(pictureHeight), rows_(rows) {}

JpegWriter::~JpegWriter() = default;

int JpegWriter::saveJpeg(const char* name) {
  if (width > 0 && height > 0 && !rows_.prepare(width)) return 0;
  // Written beside the named file, which is replaced only by a whole JPEG: a fatal error or a
  // full disk leaves the previous file as it was.
  ReplacementFile replacement;
  if (!replacement.create(name)) return 0;
  outputFile = replacement.file();

  // Zeroed, so that destroying is safe even when creating the compressor failed half-way.
  jpeg_compress_struct compressor{};
  ErrorManager errors{};
  compressor.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = leaveCompression;

  bool finished = compress(&compressor, &errors, outputFile, &rows_, width, height);
  jpeg_destroy_compress(&compressor);
  outputFile = kInvalidHandle;
  if (!finished) return 0;
  if (replacement.commit()) return 1;
  if (replacement.fault() == platform::FileFault::kNoSpace) {
    // Gathered apart and then no room found for it: the library's own line for a full disk.
    errors.pub.msg_code = JERR_FILE_WRITE;
    char text[JMSG_LENGTH_MAX];
    (*errors.pub.format_message)(reinterpret_cast<j_common_ptr>(&compressor), text);
    std::printf("Error: %s\n", text);
    std::fflush(stdout);
  }
  return 0;
}
