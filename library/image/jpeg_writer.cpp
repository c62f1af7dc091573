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
  char text[JMSG_LENGTH_MAX];  // the fatal error's message, printed once the band is over
};

// Replaces the library's error_exit, which would end the process. The library must not be
// resumed after a fatal error, so this leaves the compression for good. It may run inside a band
// of rows, where nothing is written: the message is kept, and printed by the caller.
[[noreturn]] void leaveCompression(j_common_ptr compressor) {
  auto* errors = reinterpret_cast<ErrorManager*>(compressor->err);
  (*compressor->err->format_message)(compressor, errors->text);
  std::longjmp(errors->escape, 1);
}

// The most output one block of 8 × 8 samples can give: a baseline Huffman code is at most 16
// bits long and carries at most 11 bits of value (DC) or 10 (AC), so 64 coefficients take under
// 1700 bits, 213 bytes, and stuffing a zero after every 0xFF byte at most doubles that.
constexpr std::size_t kMostBytesPerBlock = 512;

// The most output one call of jpeg_write_scanlines with one row can give: the library compresses
// at most one row of MCUs when a row completes it.
std::size_t mostBytesPerRowOfMcus(j_compress_ptr compressor) {
  return static_cast<std::size_t>(compressor->MCUs_per_row) *
         static_cast<std::size_t>(compressor->blocks_in_MCU) * kMostBytesPerBlock;
}

// The whole compression, from creating the compressor to finishing the file. A fatal error jumps
// back into this frame, which therefore owns no C++ objects (the jump would skip their
// destructors); the caller ends the band and destroys the compressor either way. False after a
// fatal error (its message in errors->text).
//
// The rows go over in bands of at most rowsPerBand rows: within a band the output is kept in
// memory reserved beforehand (room for a band's worth of pixels, far more than a band's JPEG,
// and one row of MCUs more), and written only once the band is over. A band also ends early
// when the room left could not take one more row of MCUs at its worst.
bool compress(jpeg_compress_struct* compressor, ErrorManager* errors, FileHandle file,
              PixelRows* rows, std::int32_t width, std::int32_t height) {
  if (setjmp(errors->escape)) return false;
  jpeg_create_compress(compressor);
  setCompressionParameters(compressor, width, height);
  installFileDestination(compressor, file);
  jpeg_start_compress(compressor, TRUE);
  // Only reached for a picture of 1 to 65500 pixels each way: the library refuses other sizes
  // when it starts. Each row goes over as the source holds it: the library reads the packed
  // colours in kPackedColourSpace, never writes to its input, and has converted them into its
  // own buffers when jpeg_write_scanlines returns.
  const std::size_t mostPerCall = mostBytesPerRowOfMcus(compressor);
  reserveDeferredOutput(compressor, kBandBytes + mostPerCall);
  const std::int32_t bandRows = rowsPerBand(width);
  while (compressor->next_scanline < compressor->image_height) {
    auto first = static_cast<std::int32_t>(compressor->next_scanline);
    std::int32_t count = height - first < bandRows ? height - first : bandRows;
    deferWrites(compressor);
    rows->beginBand(first, count);
    for (std::int32_t y = first; y < first + count && deferredRoom(compressor) >= mostPerCall;
         ++y) {
      auto row = reinterpret_cast<JSAMPROW>(const_cast<std::int32_t*>(rows->row(y)));
      jpeg_write_scanlines(compressor, &row, 1);
    }
    rows->endBand();
    flushDeferredOutput(compressor);
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

std::int32_t rowsPerBand(std::int32_t width) {
  std::size_t rowBytes = static_cast<std::size_t>(width < 1 ? 1 : width) * sizeof(std::int32_t);
  return rowBytes >= kBandBytes ? 1 : static_cast<std::int32_t>(kBandBytes / rowBytes);
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
  // A fatal error may have left a band open: it ends before anything else happens.
  rows_.endBand();
  if (!finished) {
    std::printf("Error: %s\n", errors.text);
    std::fflush(stdout);
  }
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
