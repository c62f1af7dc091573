// JNI entry point of the JPEG export. The Java int[] is never copied: the VM holds it in place
// while the compressor reads its rows, as the export makes no call into the VM from the first
// row to the end (the file name has been read before). Should the VM not hold it, each row is
// read into one reused row buffer just before the compressor takes it instead. Either way the
// call touches no fresh memory the size of the picture.
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
  // Gives the array back before anything else of the call runs.
  ~JniRows() override { array_.release(); }
  JniRows(const JniRows&) = delete;
  JniRows& operator=(const JniRows&) = delete;

  int prepare(std::int32_t width) override {
    width_ = width;
    held_ = array_.hold();
    if (held_) return 1;
    buffer_.reset(static_cast<std::int32_t*>(
        allocZeroed(static_cast<std::size_t>(width) * sizeof(std::int32_t))));
    return buffer_ ? 1 : 0;
  }

  // The export has checked that width × height elements are there, so the row is inside.
  const std::int32_t* row(std::int32_t y) override {
    if (held_) return held_ + static_cast<std::int64_t>(y) * width_;
    array_.read(y * width_, width_, buffer_.get());
    return buffer_.get();
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
