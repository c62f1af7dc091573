// JNI entry point of the JPEG export.
#include "Kestrilo.h"
#include "library/boundary/jni/jni_support.h"
#include "library/exports/export_guard.h"
#include "library/exports/exports.h"

extern "C" JNIEXPORT jint JNICALL Java_Kestrilo_saveJPEG(JNIEnv* env, jclass receiver,
                                                         jstring jpegFile, jintArray pixels,
                                                         jint width, jint height) {
  return guardExport(kSaveJpegFailure, [&] {
    JniString fileHandle(env, jpegFile);
    // A copy of the array, whose element count lets the export refuse a picture larger than it.
    JniIntArray pixelArray(env, pixels);
    return Kestrilo_saveJPEG(receiver, fileHandle.handle(), pixelArray.object(), width, height);
  });
}
