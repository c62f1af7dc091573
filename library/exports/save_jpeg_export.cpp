// The JPEG export, Kestrilo_saveJPEG: a picture from the Java side as a quality-90 JPEG file.
//
// The result is 1 whatever happened. Nothing is written when the file name is longer than 255
// characters, when the array holds fewer than width × height elements (they would be read past
// its end), or when the pixel block cannot be allocated ("Sorry, not enough memory" is shown).
#include <optional>

#include "library/boundary/file_name.h"
#include "library/exports/export_guard.h"
#include "library/exports/exports.h"
#include "library/image/jpeg_writer.h"
#include "library/support/checked_size.h"

namespace {

std::int32_t saveJpeg(StringHandle jpegFile, const ArrayObject* pixels, std::int32_t width,
                      std::int32_t height) {
  NameBuffer name;
  if (!convertFileName(jpegFile, name)) return 1;

  // An empty picture has nothing to copy; the compressor refuses it with its own message.
  bool empty = width <= 0 || height <= 0;
  if (!empty) {
    std::optional<std::int32_t> count = checkedMultiply(width, height);
    if (!count || *count > arrayLength(pixels)) return 1;
  }

  JpegWriter writer;
  writer.setFormat(width, height, kJpegPixelFormat);
  if (!empty) {
    if (!writer.allocatePixels()) return 1;
    writer.copyPixels(intElements(pixels));
  }
  writer.saveJpeg(name);
  return 1;
}

}  // namespace

std::int32_t Kestrilo_saveJPEG(Receiver, StringHandle jpegFile, const ArrayObject* pixels,
                               std::int32_t width, std::int32_t height) {
  return guardExport(kSaveJpegFailure, [&] { return saveJpeg(jpegFile, pixels, width, height); });
}
