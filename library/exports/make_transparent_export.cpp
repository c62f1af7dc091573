// Making a GIF file transparent: Kestrilo_makeTransparent.
//
// The first image of the file is read; when the file declares no transparent colour before it,
// the colour of the top-left pixel becomes the transparent one and the file is rewritten as a
// single interlaced GIF89a image (further images, comments and looping are not kept). The
// rewrite replaces the file only once the new one is whole. 1 when the file was read as a GIF,
// whether or not it was rewritten; 0 otherwise, the file untouched.
#include <memory>
#include <new>

#include "library/boundary/file_name.h"
#include "library/exports/export_guard.h"
#include "library/exports/exports.h"
#include "library/image/gif_image.h"

namespace {

std::int32_t makeTransparent(StringHandle gifFile) {
  FileName path;
  if (!convertFileName(gifFile, path)) return 0;
  // Owned, so that an exception on the way (the guard turns it into the failure result) still
  // destroys it and, with it, any new file the save had begun.
  std::unique_ptr<GifImage> image(new (std::nothrow) GifImage);
  if (!image) return 0;
  if (!image->loadGif(path, 0)) return 0;
  if (image->transparentSet == 0) {
    image->transparentIndex = *image->pixelAddress(0, 0);
    image->transparentSet = 1;
    // Only over the file as it was read: a version saved meanwhile is not replaced by the
    // rewrite of the old picture. Failures are shown or traced where they happen.
    image->saveGif(path, &image->readIdentity);
  }
  return 1;
}

}  // namespace

std::int32_t Kestrilo_makeTransparent(Receiver, StringHandle gifFile) {
  return guardExport(kMakeTransparentFailure, [&] { return makeTransparent(gifFile); });
}
