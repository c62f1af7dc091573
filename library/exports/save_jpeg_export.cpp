// The JPEG export, Kestrilo_saveJPEG: a picture from the Java side as a quality-90 JPEG file.
//
// The result is 1 whatever happened. Nothing is written when the file name is longer than 255
// characters, or when the array holds fewer than width × height elements (they would be read past
// its end).
#include "library/exports/save_jpeg_export.h"

#include <optional>

#include "library/boundary/file_name.h"
#include "library/exports/export_guard.h"
#include "library/exports/exports.h"
#include "library/support/checked_size.h"

namespace {

// The rows of an array object, each handed to the compressor where it lies in the array. No
// three-byte bitmap of the whole picture is made: the compressor reads the packed colours where
// they are and writes the same bytes as from such a bitmap, and filling a fresh 36 MB bitmap for
// a 4000 × 3000 picture costs more than the compression.
class ArrayRows final : public PixelRows {
 public:
  explicit ArrayRows(const ArrayObject* array) : array_(array) {}
  int prepare(std::int32_t width) override {
    width_ = width;
    return 1;
  }
  const std::int32_t* row(std::int32_t y) override {
    return intElements(array_) + static_cast<std::int64_t>(y) * width_;
  }

 private:
  const ArrayObject* array_;
  std::int32_t width_ = 0;
};

}  // namespace

std::int32_t saveJpegFromRows(StringHandle jpegFile, std::int32_t elementCount, PixelRows& rows,
                              std::int32_t width, std::int32_t height) {
  FileName name;
  if (!convertFileName(jpegFile, name)) return 1;

  // An empty picture reads no rows; the compressor refuses it with its own message.
  bool empty = width <= 0 || height <= 0;
  if (!empty) {
    std::optional<std::int32_t> count = checkedMultiply(width, height);
    if (!count || *count > elementCount) return 1;
  }

  JpegWriter writer(rows, width, height);
  writer.saveJpeg(name);
  return 1;
}

std::int32_t Kestrilo_saveJPEG(Receiver, StringHandle jpegFile, const ArrayObject* pixels,
                               std::int32_t width, std::int32_t height) {
  return guardExport(kSaveJpegFailure, [&] {
    ArrayRows rows(pixels);
    return saveJpegFromRows(jpegFile, arrayLength(pixels), rows, width, height);
  });
}
