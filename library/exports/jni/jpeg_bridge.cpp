// JNI entry point of the JPEG export. The Java int[] is never copied: the VM holds it in place
// for one band of rows at a time (at most kBandBytes of pixels) while the compressor reads them,
// and gets it back before the writer does anything else: the file is created, written, synced and
// put in place, and any message shown, only while the array is free, so the garbage collector
// never waits for more than one band's compression. The file name has been read before the first
// hold. Should the VM not hold the array, each row is read into one reused row buffer just before
// the compressor takes it instead. Either way the call touches no fresh memory the size of the
// picture.
#include <memory>

#include "Kestrilo.h"
#include "library/boundary/jni/jni_support.h"
#include "library/exports/export_guard.h"
#include "library/exports/exports.h"
#include "library/exports/save_jpeg_export.h"
#include "library/support/memory_helpers.h"

namespace {

class JniRows final : public PixelRows {
 public:
  explicit JniRows(JniIntArray& array) : array_(array) {}
  // Gives the array back should a band still be open.
  ~JniRows() override { endBand(); }
  JniRows(const JniRows&) = delete;
  JniRows& operator=(const JniRows&) = delete;

  // The row buffer is had before any band: no allocation happens while the array is held.
  int prepare(std::int32_t width) override {
    width_ = width;
    buffer_.reset(static_cast<std::int32_t*>(
        allocZeroed(static_cast<std::size_t>(width) * sizeof(std::int32_t))));
    return buffer_ ? 1 : 0;
  }

  void beginBand(std::int32_t, std::int32_t) override { held_ = array_.hold(); }

  // The export has checked that width × height elements are there, so the row is inside.
  const std::int32_t* row(std::int32_t y) override {
    if (held_) return held_ + static_cast<std::int64_t>(y) * width_;
    array_.read(y * width_, width_, buffer_.get());
    return buffer_.get();
  }

  void endBand() override {
    array_.release();
    held_ = nullptr;
  }

 private:
  struct Free {
    void operator()(std::int32_t* block) const { freeBlock(block); }
  };
  JniIntArray& array_;
  std::int32_t width_ = 0;
  const std::int32_t* held_ = nullptr;
  std::unique_ptr<std::int32_t, Free> buffer_;
};

}  // namespace

extern "C" JNIEXPORT jint JNICALL Java_Kestrilo_saveJPEG(JNIEnv* env, jclass, jstring jpegFile,
                                                         jintArray pixels, jint width,
                                                         jint height) {
  return guardExport(kSaveJpegFailure, [&] {
    JniString fileHandle(env, jpegFile);
    JniIntArray pixelArray(env, pixels);
    JniRows rows(pixelArray);
    return saveJpegFromRows(fileHandle.handle(), pixelArray.length(), rows, width, height);
  });
}
